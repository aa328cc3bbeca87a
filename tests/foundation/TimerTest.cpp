#include <chrono>
#include <thread>
#include <vector>

#include "FoundationTest.h"
#include "TimerArithmetic.h"

#ifndef _WIN32
#include "FreshProcess.h"
#include "ZAVPlatformTest.h"
#endif

namespace {

TEST(TimerArithmetic, ExactFarBeyondWhereTheProductOverflows) {
#ifndef __SIZEOF_INT128__
    GTEST_SKIP() << "no 128-bit integer to compute the exact value with";
#else
    const int64_t frequencies[] = {1000000000, 3579545, 10000000, 2400000000};
    const int64_t counts[] = {0, 1, 999, 9223372036854LL, 9223372036855LL, 157680000000000000LL,
                              157680000000001000LL, INT64_MAX / 2, INT64_MAX};
    for (int64_t f : frequencies)
        for (int64_t c : counts) {
            unsigned __int128 exact = static_cast<unsigned __int128>(c) * 1000000u / static_cast<unsigned __int128>(f);
            EXPECT_EQ(zav::CountToMicroseconds(c, f), static_cast<uint64_t>(exact)) << c << " at " << f;
        }
#endif
}

TEST(TickWidener, CountsEachWrapOnce) {
    zav::TickWidener widener;
    const std::vector<uint32_t> ticks = {10, 0xFFFFFF00u, 0xFFFFFFFFu, 5, 6, 0x80000000u, 3};
    const std::vector<uint64_t> expected = {10, 0xFFFFFF00u, 0xFFFFFFFFu, 0x100000005ull, 0x100000006ull,
                                            0x180000000ull, 0x200000003ull};
    for (size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(widener.Milliseconds([&] { return ticks[i]; }), expected[i]);
}

// Microseconds from the counter, also after five years of uptime at 1 GHz
// (where a plain product of count and a million has wrapped).
TEST(Timer, ReadsMicrosecondsFromTheCounter) {
    for (long long uptime : {0LL, 5LL * 365 * 86400 * 1000000000}) {
#ifndef _WIN32
        ZAVPlatformTest_SetPerformanceCounterOffset(uptime);
#endif
        ZAVUInt64 a = ZAV_TimerValue();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ZAVUInt64 b = ZAV_TimerValue();
        EXPECT_GE(b - a, 50000u);
        EXPECT_LT(b - a, 1000000u);
#ifndef _WIN32
        if (uptime != 0) EXPECT_GT(a, 5ull * 365 * 86400 * 1000000);
        ZAVPlatformTest_SetPerformanceCounterOffset(0);
#endif
    }
}

#ifndef _WIN32
// In a fresh process: the counter's absence is noticed once, for good.
TEST(Timer, TickPathWhenTheCounterIsMissingSurvivesTheWrap) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_FailPerformanceFrequency(TRUE);
        ZAVPlatformTest_SetTickCountOffset(0xFFFFFFFFu - GetTickCount() - 30);  // 30 ms before the wrap
        ZAVUInt64 before = ZAV_TimerValue();
        EXPECT_EQ(before % 1000, 0u) << "milliseconds in microseconds";
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        EXPECT_LT(GetTickCount(), 1000u) << "the tick count has wrapped";
        ZAVUInt64 after = ZAV_TimerValue();
        EXPECT_GE(after - before, 80000u);
        EXPECT_LT(after - before, 1000000u);
        ZAVPlatformTest_FailPerformanceFrequency(FALSE);  // a counter that comes back is not used
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(ZAV_TimerValue() % 1000, 0u);
            std::this_thread::sleep_for(std::chrono::microseconds(1300));
        }
    });
}
#endif

}  // namespace
