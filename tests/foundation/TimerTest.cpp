#include "MemoryFixture.h"
#include "TimerArithmetic.h"

namespace {

TEST(TimerArithmetic, ExactFarBeyondWhereTheProductOverflows) {
#ifndef __SIZEOF_INT128__
    GTEST_SKIP() << "no 128-bit integer to compute the exact value with";
#else
    for (int64_t f : {int64_t{1000000000}, int64_t{3579545}, int64_t{10000000}, int64_t{2400000000}})
        for (int64_t c : std::initializer_list<int64_t>{0, 1, 999, 9223372036854, 9223372036855, 157680000000000000,
                                                       157680000000001000, INT64_MAX / 2, INT64_MAX})
            EXPECT_EQ(zav::CountToMicroseconds(c, f), static_cast<uint64_t>(static_cast<__int128>(c) * 1000000 / f))
                << c << " at " << f;
#endif
}

TEST(TickWidener, CountsEachWrapOnce) {
    zav::TickWidener widener;
    const std::pair<uint32_t, uint64_t> ticks[] = {{10, 10}, {0xFFFFFF00u, 0xFFFFFF00u}, {0xFFFFFFFFu, 0xFFFFFFFFu},
                                                   {5, 0x100000005ull}, {6, 0x100000006ull},
                                                   {0x80000000u, 0x180000000ull}, {3, 0x200000003ull}};
    for (auto [tick, wide] : ticks) EXPECT_EQ(widener.Milliseconds([&] { return tick; }), wide);
}

#ifndef _WIN32
// Five years of uptime at 1 GHz on the stand-in, where a plain product of
// count and a million has wrapped.
TEST(Timer, ReadsMicrosecondsFromTheCounter) {
    ZAVPlatformTest_SetPerformanceCounterOffset(5LL * 365 * 86400 * 1000000000);
    const ZAVUInt64 us = ZAV_TimerValue(), year = 365ull * 86400 * 1000000;
    EXPECT_TRUE(us > 5 * year && us < 6 * year) << us;
    ZAVPlatformTest_SetPerformanceCounterOffset(0);
}

// In a fresh process: the counter's absence is noticed once, for good.
TEST(Timer, TickPathWhenTheCounterIsMissingSurvivesTheWrap) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_FailPerformanceFrequency(TRUE);
        ZAVPlatformTest_SetTickCountOffset(0xFFFFFFFFu - GetTickCount() - 30);  // 30 ms before the wrap
        const ZAVUInt64 before = ZAV_TimerValue();
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        EXPECT_LT(GetTickCount(), 1000u) << "the tick count has wrapped";
        const ZAVUInt64 after = ZAV_TimerValue() - before;
        EXPECT_TRUE(after >= 80000 && after < 1000000) << after;
        ZAVPlatformTest_FailPerformanceFrequency(FALSE);  // a counter that comes back is not used
        for (int i = 0; i < 5; ++i, std::this_thread::sleep_for(std::chrono::microseconds(1300)))
            EXPECT_EQ(ZAV_TimerValue() % 1000, 0u) << "milliseconds in microseconds";
    });
}
#endif

}  // namespace
