#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "FreshProcess.h"
#include "TimerArithmetic.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

namespace {

TEST(TimerArithmetic, ExactFarBeyondWhereTheProductOverflows) {
    const int64_t frequencies[] = {1000000000, 3579545, 10000000, 2400000000};
    const int64_t counts[] = {0, 1, 999, 9223372036854LL, 9223372036855LL, 157680000000000000LL,
                              INT64_MAX / 2, INT64_MAX};
    for (int64_t f : frequencies)
        for (int64_t c : counts) {
            unsigned __int128 exact = static_cast<unsigned __int128>(c) * 1000000u / static_cast<unsigned __int128>(f);
            EXPECT_EQ(zav::CountToMicroseconds(c, f), static_cast<uint64_t>(exact)) << c << " at " << f;
        }
}

TEST(TimerArithmetic, GrowsByOneMicrosecondPerMicrosecondOfCounts) {
    // Five years of uptime at 1 GHz: the spec's product would have wrapped.
    const int64_t base = 5LL * 365 * 86400 * 1000000000;
    uint64_t previous = zav::CountToMicroseconds(base, 1000000000);
    for (int64_t step = 1; step <= 10; ++step) {
        uint64_t now = zav::CountToMicroseconds(base + step * 1000, 1000000000);
        EXPECT_EQ(now - previous, 1u);
        previous = now;
    }
}

TEST(TickWidener, CountsEachWrapOnce) {
    zav::TickWidener widener;
    std::vector<uint32_t> ticks = {10, 0xFFFFFF00u, 0xFFFFFFFFu, 5, 6, 0x80000000u, 3};
    std::vector<uint64_t> expected = {10, 0xFFFFFF00u, 0xFFFFFFFFu, 0x100000005ull, 0x100000006ull,
                                      0x180000000ull, 0x200000003ull};
    for (size_t i = 0; i < ticks.size(); ++i)
        EXPECT_EQ(widener.Milliseconds([&] { return ticks[i]; }), expected[i]);
}

TEST(Timer, ReadsMicrosecondsFromTheCounter) {
    ZAVUInt64 a = ZAV_TimerValue();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ZAVUInt64 b = ZAV_TimerValue();
    EXPECT_GE(b - a, 200000u);
    EXPECT_LT(b - a, 2000000u);
}

TEST(Timer, LongUptimeOnAGigahertzCounter) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetPerformanceCounterOffset(5LL * 365 * 86400 * 1000000000);
        ZAVUInt64 a = ZAV_TimerValue();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ZAVUInt64 b = ZAV_TimerValue();
        EXPECT_GT(a, 5ull * 365 * 86400 * 1000000);
        EXPECT_GE(b - a, 20000u);
        EXPECT_LT(b - a, 1000000u);
    });
}

TEST(Timer, TickPathWhenTheCounterIsMissingSurvivesTheWrap) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_FailPerformanceFrequency(TRUE);
        DWORD now = GetTickCount();
        ZAVPlatformTest_SetTickCountOffset(0xFFFFFFFFu - now - 30);  // 30 ms before the wrap
        ZAVUInt64 before = ZAV_TimerValue();
        EXPECT_EQ(before % 1000, 0u) << "milliseconds in microseconds";
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        EXPECT_LT(GetTickCount(), 1000u) << "the tick count has wrapped";
        ZAVUInt64 after = ZAV_TimerValue();
        EXPECT_GT(after, before);
        EXPECT_GE(after - before, 80000u);
        EXPECT_LT(after - before, 1000000u);
        // A counter that comes back later is not used: the choice is made once.
        ZAVPlatformTest_FailPerformanceFrequency(FALSE);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(ZAV_TimerValue() % 1000, 0u);
            std::this_thread::sleep_for(std::chrono::microseconds(1300));
        }
    });
}

}  // namespace
