// The frame's calls: handles, the platform's version, the timer and the CRC;
// on the stand-in also emulated older platforms, in fresh processes.
#include "MemoryFixture.h"
#include "TimerArithmetic.h"

namespace {

std::vector<int> VersionAnswers() { return {ZAV_IsWinNT(), ZAV_IsWin2K(), ZAV_IsWinXP(), ZAV_IsWin2003()}; }

TEST(Frame, HandlesAndTheRunningVersion) {
    const std::pair<uintptr_t, int> handles[] = {{0, 0}, {uintptr_t(-1), 0}, {1, 1}, {uintptr_t(-2), 1}};
    for (auto [handle, valid] : handles) EXPECT_EQ(ZAV_ValidHandle(reinterpret_cast<void*>(handle)), valid) << handle;
    EXPECT_EQ(VersionAnswers(), (std::vector<int>{1, 1, 1, 1})) << "a modern NT";
}

// Every length around the vector paths' thresholds, at every alignment, from
// several running values (a piece of a longer run), against the standard
// CRC-32's byte-at-a-time definition, without its inversions.
TEST(Crc, MatchesTheByteLoopForAnyLengthAlignmentAndStart) {
    EXPECT_EQ(ZAV_CRCCompute(0x12345678, nullptr, 0), 0x12345678u);
    std::vector<unsigned char> data(4096 + 64);
    std::generate(data.begin(), data.end(), std::mt19937(99));
    for (size_t offset = 0; offset < 16; ++offset)
        for (DWORD n = 0; n <= 4096; n = n < 300 ? n + 1 : n * 2 + 3)
            for (DWORD start : {0u, 0xFFFFFFFFu, 0x9E3779B9u}) {
                DWORD expected = start;
                for (size_t i = 0; i < n; ++i) {
                    expected ^= data[offset + i];
                    for (int k = 0; k < 8; ++k) expected = (expected & 1) ? (expected >> 1) ^ 0xEDB88320u : expected >> 1;
                }
                ASSERT_EQ(ZAV_CRCCompute(start, &data[offset], n), expected) << "offset " << offset << " length " << n;
            }
}

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
        for (int64_t c : std::initializer_list<int64_t>{0, 999, 9223372036854, 9223372036855, 157680000000001000, INT64_MAX})
            EXPECT_EQ(zav::CountToMicroseconds(c, f), static_cast<uint64_t>(static_cast<__int128>(c) * 1000000 / f))
                << c << " at " << f;
#endif
}

#ifndef _WIN32
// In fresh processes, as the library reads the platform once: each version
// query means "this version or later", and a failed query answers 0. A
// later change is not seen: the timer, without a performance counter at
// first, goes by the tick count for good, and the memory manager by the
// answers read (a low-fragmentation heap from XP on, compaction on the NT
// family only, through an entry point looked up again while it is missing).
TEST(Frame, EmulatedPlatformsAsTheLibraryReadsThem) {
    const int rows[][7] = {{2, 4, 0, 1, 0, 0, 0}, {2, 5, 0, 1, 1, 0, 0}, {2, 5, 1, 1, 1, 1, 0},
                           {2, 5, 2, 1, 1, 1, 1}, {2, 6, 0, 1, 1, 1, 1}, {1, 4, 10, 0, 0, 0, 0},
                           {1, 6, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}};  // the last: the query fails
    for (const int* r : rows)
        ZAV_IN_FRESH_PROCESS({
            r[0] == 0 ? ZAVPlatformTest_FailVersionQuery(TRUE) : ZAVPlatformTest_EmulateVersion(r[0], r[1], r[2], 1);
            ZAVPlatformTest_FailPerformanceFrequency(TRUE);
            EXPECT_EQ(ZAV_TimerValue() % 1000, 0u) << "milliseconds in microseconds";
            const std::vector<int> answers(r + 3, r + 7);
            EXPECT_EQ(VersionAnswers(), answers) << r[0] << " " << r[1] << "." << r[2];
            ZAVPlatformTest_FailVersionQuery(FALSE);  // too late: from here on the platform is a modern NT
            ZAVPlatformTest_FailPerformanceFrequency(FALSE);
            ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_NT, 10, 0, 1);
            EXPECT_EQ(ZAV_TimerValue() % 1000, 0u);
            ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptLowFragHeap);
            EXPECT_EQ(HeapCompatibility(hZAVHeap), answers[2] * 2u);
            ZAVPlatformTest_HideProcedure("HeapCompact", TRUE);
            EXPECT_EQ(ZAV_MemoryCompact(0, 0), 0u);
            ZAVPlatformTest_HideProcedure("HeapCompact", FALSE);
            EXPECT_EQ(ZAV_MemoryCompact(0, 1) != 0, answers[0] == 1);
        });
}

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
