#include <atomic>
#include <thread>
#include <vector>

#include "FreshProcess.h"
#include "UtilTestSupport.h"
#include "ZAVPlatformTest.h"

namespace {

const int kThreads = 8;

// Each thread's two names, all threads asking at once.
std::vector<WString> AskFromThreads() {
    std::atomic<int> ready{0};
    std::vector<WString> answers(2 * kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&answers, &ready, i] {
            for (++ready; ready.load() < kThreads;) {
            }
            answers[2 * i] = Text(ZAV_GetLogonId());
            answers[2 * i + 1] = Text(ZAV_GetComputerName());
        });
    for (auto& t : threads) t.join();
    return answers;
}

// Every thread gets the same whole names, and once the cache is filled
// nobody asks again.
TEST(LogonId, ConcurrentFirstCalls) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetUserName(ZAV_TEXT("concurrent-user-name"));
        ZAVPlatformTest_SetComputerName(ZAV_TEXT("RACEHOST"));
        const std::vector<WString> answers = AskFromThreads();
        for (size_t i = 0; i < answers.size(); ++i)
            EXPECT_EQ(answers[i], i % 2 ? ZAV_TEXT("RACEHOST") : ZAV_TEXT("concurrent-user-name"));
        const DWORD asked = ZAVPlatformTest_IdentityQueries();
        EXPECT_LE(asked, 3u * kThreads);
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("concurrent-user-name"));
        EXPECT_EQ(Text(ZAV_GetComputerName()), ZAV_TEXT("RACEHOST"));
        EXPECT_EQ(ZAVPlatformTest_IdentityQueries(), asked);
    });
}

}  // namespace
