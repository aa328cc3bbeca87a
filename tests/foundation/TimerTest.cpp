#include "MemoryFixture.h"
#include "TimerArithmetic.h"

namespace {

// A 32-bit tick count widened across wraps, each counted once; counts turned
// into microseconds exactly far beyond where their product with a million
// overflows.
TEST(TimerArithmetic, WrapsCountedOnceAndMicrosecondsExact) {
    zav::TickWidener widener;
    const std::pair<uint32_t, uint64_t> ticks[] = {{10, 10}, {0xFFFFFF00u, 0xFFFFFF00u}, {0xFFFFFFFFu, 0xFFFFFFFFu},
                                                   {5, 0x100000005ull}, {6, 0x100000006ull},
                                                   {0x80000000u, 0x180000000ull}, {3, 0x200000003ull}};
    for (auto [tick, wide] : ticks) EXPECT_EQ(widener.Milliseconds([&] { return tick; }), wide);
#ifdef __SIZEOF_INT128__  // the exact value needs a 128-bit integer
    for (int64_t f : {int64_t{1000000000}, int64_t{3579545}, int64_t{10000000}, int64_t{2400000000}})
        for (int64_t c : std::initializer_list<int64_t>{0, 1, 999, 9223372036854, 9223372036855, 157680000000000000,
                                                       157680000000001000, INT64_MAX / 2, INT64_MAX})
            EXPECT_EQ(zav::CountToMicroseconds(c, f), static_cast<uint64_t>(static_cast<__int128>(c) * 1000000 / f))
                << c << " at " << f;
#endif
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
#endif

}  // namespace
