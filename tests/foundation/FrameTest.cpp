#include "MemoryFixture.h"

namespace {

std::vector<int> VersionAnswers() { return {ZAV_IsWinNT(), ZAV_IsWin2K(), ZAV_IsWinXP(), ZAV_IsWin2003()}; }

TEST(Frame, HandlesAndTheRunningVersion) {
    const std::pair<uintptr_t, int> handles[] = {{0, 0}, {uintptr_t(-1), 0}, {1, 1}, {uintptr_t(-2), 1}};
    for (auto [handle, valid] : handles) EXPECT_EQ(ZAV_ValidHandle(reinterpret_cast<void*>(handle)), valid) << handle;
    EXPECT_EQ(VersionAnswers(), (std::vector<int>{1, 1, 1, 1})) << "a modern NT";
}

#ifndef _WIN32
// In fresh processes, as the library reads the platform once: each version
// query means "this version or later", a later change is not seen, and a
// failed query answers 0 for good. The memory manager goes by the same
// answers (a low-fragmentation heap from XP on, compaction on the NT family
// only, through an entry point looked up again while it is missing), and
// the timer, without a performance counter, by the tick count for good.
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
            ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptLowFragHeap);
            EXPECT_EQ(HeapCompatibility(hZAVHeap), answers[2] * 2u);
            ZAVPlatformTest_HideProcedure("HeapCompact", TRUE);
            EXPECT_EQ(ZAV_MemoryCompact(0, 0), 0u);
            ZAVPlatformTest_HideProcedure("HeapCompact", FALSE);
            EXPECT_EQ(ZAV_MemoryCompact(0, 1) != 0, answers[0] == 1);
            ZAVPlatformTest_FailVersionQuery(FALSE);
            ZAVPlatformTest_FailPerformanceFrequency(FALSE);
            ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_NT, 10, 0, 1);
            EXPECT_EQ(VersionAnswers(), answers);
            EXPECT_EQ(ZAV_TimerValue() % 1000, 0u);
        });
}
#endif

}  // namespace
