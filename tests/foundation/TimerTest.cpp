#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TimerArithmetic.h"
#include "ZAVUtil1.h"

namespace {

TEST(TimerArithmetic, ExactFarBeyondWhereTheProductOverflows) {
#ifndef __SIZEOF_INT128__
    GTEST_SKIP() << "no 128-bit integer to compute the exact value with";
#else
    const int64_t frequencies[] = {1000000000, 3579545, 10000000, 2400000000};
    const int64_t counts[] = {0, 1, 999, 9223372036854LL, 9223372036855LL, 157680000000000000LL,
                              INT64_MAX / 2, INT64_MAX};
    for (int64_t f : frequencies)
        for (int64_t c : counts) {
            unsigned __int128 exact = static_cast<unsigned __int128>(c) * 1000000u / static_cast<unsigned __int128>(f);
            EXPECT_EQ(zav::CountToMicroseconds(c, f), static_cast<uint64_t>(exact)) << c << " at " << f;
        }
#endif
}

TEST(TimerArithmetic, GrowsByOneMicrosecondPerMicrosecondOfCounts) {
    // Five years of uptime at 1 GHz: a plain product of count and a million would have wrapped.
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

}  // namespace
