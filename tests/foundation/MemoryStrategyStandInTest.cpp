// The memory strategies where the stand-in hides an entry point, refuses a
// heap or emulates an older platform.
#include "FreshProcess.h"
#include "MemoryFixture.h"
#include "ZAVPlatformTest.h"

namespace {

using MemoryStrategy = MemoryManagerTest;

TEST_F(MemoryStrategy, NoLowFragmentationHeapWithoutTheEntryPoint) {
    ZAVPlatformTest_HideProcedure("HeapSetInformation", TRUE);
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptLowFragHeap), 0u) << "missing: ignored";
    EXPECT_EQ(HeapCompatibility(hZAVHeap), 0u);
    ZAVPlatformTest_HideProcedure("HeapSetInformation", FALSE);
}

TEST_F(MemoryStrategy, NoLowFragmentationHeapBeforeXp) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_NT, 5, 0, 2195);
        ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptLowFragHeap);
        EXPECT_EQ(HeapCompatibility(hZAVHeap), 0u);
    });
}

TEST_F(MemoryStrategy, FailedHeapCreationLeavesStrategyThreeWithoutAHeap) {
    ZAVPlatformTest_FailHeapCreate(TRUE);
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, 0), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    ZAVPlatformTest_FailHeapCreate(FALSE);
    EXPECT_EQ(ZAVMemAllocType, ZAVMemAllocPrivateHeap);
    EXPECT_EQ(hZAVHeap, nullptr);
    EXPECT_EQ(ZAV_MemoryGet(10, 0), nullptr);
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0), 0u);
    ZAV_MemoryPoolFree();
    EXPECT_EQ(ZAVMemAllocType, ZAVMemAllocPrivateHeap) << "neither call leaves this state";
    EXPECT_EQ(ZAV_MemoryGet(10, 0), nullptr);
}

TEST_F(MemoryStrategy, CompactionNeedsNtAndTheEntryPoint) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, 0);
        EXPECT_EQ(ZAV_MemoryCompact(0, 1), 0u);
    });
    ZAV_IN_FRESH_PROCESS({
        ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, 0);
        ZAVPlatformTest_HideProcedure("HeapCompact", TRUE);
        EXPECT_EQ(ZAV_MemoryCompact(0, 0), 0u);
        // Looked up again on the next call.
        ZAVPlatformTest_HideProcedure("HeapCompact", FALSE);
        EXPECT_GT(ZAV_MemoryCompact(0, 0), 0u);
    });
}

}  // namespace
