#include <atomic>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "ZAVPlatformTest.h"

namespace {

// Threads asking at once all get the same whole names, and once the cache
// is filled nobody asks again.
TEST(LogonId, ConcurrentFirstCalls) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetUserName(ZAV_TEXT("concurrent-user-name"));
        ZAVPlatformTest_SetComputerName(ZAV_TEXT("RACEHOST"));
        const int threads = 8;
        std::atomic<int> ready{0};
        std::vector<WString> answers(threads);
        std::vector<std::thread> running;
        for (int i = 0; i < threads; ++i)
            running.emplace_back([&answers, &ready, i] {
                for (++ready; ready.load() < threads;) {
                }
                answers[i] = Text(ZAV_GetLogonId()) + ZAV_TEXT("@") + Text(ZAV_GetComputerName());
            });
        for (auto& t : running) t.join();
        const DWORD asked = ZAVPlatformTest_IdentityQueries();
        EXPECT_LE(asked, 3u * threads);
        answers.push_back(Text(ZAV_GetLogonId()) + ZAV_TEXT("@") + Text(ZAV_GetComputerName()));
        EXPECT_EQ(answers, std::vector<WString>(threads + 1, ZAV_TEXT("concurrent-user-name@RACEHOST")));
        EXPECT_EQ(ZAVPlatformTest_IdentityQueries(), asked);
    });
}

}  // namespace
