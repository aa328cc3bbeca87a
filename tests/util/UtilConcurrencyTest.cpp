#include <atomic>
#include <thread>
#include <vector>

#include "FreshProcess.h"
#include "UtilTestSupport.h"
#include "ZAVPlatformTest.h"

namespace {

struct Answers {
    std::vector<WString> logon, computer;
};

// All threads ask at once.
Answers AskFromThreads(int count) {
    std::atomic<int> ready{0};
    Answers answers{std::vector<WString>(count), std::vector<WString>(count)};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&answers, &ready, count, i] {
            ++ready;
            while (ready.load() < count) {
            }
            answers.logon[i] = Text(ZAV_GetLogonId());
            answers.computer[i] = Text(ZAV_GetComputerName());
        });
    for (auto& t : threads) t.join();
    return answers;
}

// Every thread gets the same whole name, and once the cache is filled nobody
// asks again.
TEST(LogonId, ConcurrentFirstCalls) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetUserName(ZAV_TEXT("concurrent-user-name"));
        ZAVPlatformTest_SetComputerName(ZAV_TEXT("RACEHOST"));
        const Answers answers = AskFromThreads(8);
        for (const auto& name : answers.logon) EXPECT_EQ(name, ZAV_TEXT("concurrent-user-name"));
        for (const auto& name : answers.computer) EXPECT_EQ(name, ZAV_TEXT("RACEHOST"));
        const DWORD asked = ZAVPlatformTest_IdentityQueries();
        EXPECT_LE(asked, 3u * 8);
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("concurrent-user-name"));
        EXPECT_EQ(Text(ZAV_GetComputerName()), ZAV_TEXT("RACEHOST"));
        EXPECT_EQ(ZAVPlatformTest_IdentityQueries(), asked);
    });
}

}  // namespace
