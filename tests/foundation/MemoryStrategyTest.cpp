#include <string.h>

#include <chrono>
#include <thread>

#include "FreshProcess.h"
#include "MemoryFixture.h"

namespace {

using MemoryStrategy = MemoryManagerTest;

DWORD CommittedInFirstRegion(HANDLE heap) {
    PROCESS_HEAP_ENTRY e{};
    EXPECT_TRUE(HeapWalk(heap, &e));
    EXPECT_TRUE(e.wFlags & PROCESS_HEAP_REGION);
    return e.Region.dwCommittedSize;
}

TEST_F(MemoryStrategy, PrivateHeapLifecycle) {
    ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, 0), 0u);
    ASSERT_NE(hZAVHeap, nullptr);
    EXPECT_EQ(CommittedInFirstRegion(hZAVHeap), 65536u) << "initial size 0 means 65536";
    void* p = ZAV_MemoryGet(300, 0);
    EXPECT_EQ(HeapSize(hZAVHeap, 0, p), 300u) << "the block comes from the private heap";

    // The private heap, once chosen, stays: only the options change.
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptZeroFill), 0u);
    EXPECT_EQ(ZAVMemAllocType, ZAVMemAllocPrivateHeap);
    EXPECT_EQ(ZAVMemOptions, ZAVMemOptZeroFill);
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);

    ZAV_MemoryPoolFree();
    EXPECT_EQ(ZAVMemAllocType, ZAVMemAllocUndefined);
    EXPECT_EQ(hZAVHeap, nullptr);
    EXPECT_EQ(ZAVMemOptions, ZAVMemOptZeroFill) << "left as it is";
}

TEST_F(MemoryStrategy, PrivateHeapCountsWhatHeapSizeMeasures) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 100000, ZAVMemOptGuard);
    const DWORD committed = CommittedInFirstRegion(hZAVHeap);
    EXPECT_EQ(committed % 4096, 0u) << "whole pages";
    EXPECT_GE(committed, 100000u);
#ifndef _WIN32
    EXPECT_EQ(committed, 102400u) << "the stand-in commits just the pages asked for";
#endif
    void* p = ZAV_MemoryGet(100, 0);
    EXPECT_EQ(ZAV_PoolMemBusy, 132u) << "guard words included";
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);
    EXPECT_EQ(ZAV_PoolMemBusy, 0u);
    ZAV_MemoryGet(100, 0);  // left live: the teardown takes it and zeroes the count
    ZAV_MemoryPoolFree();
    EXPECT_EQ(ZAV_PoolMemBusy, 0u);
    EXPECT_EQ(g_pZAVMemCtl, nullptr);
}

// Whether this system's heaps report the compatibility mode they were set
// to (Wine takes the setting and reports 0).
bool HeapsReportTheirMode() {
    HANDLE heap = HeapCreate(0, 0, 0);
    ULONG lowFragmentation = 2;
    HeapSetInformation(heap, HeapCompatibilityInformation, &lowFragmentation, sizeof lowFragmentation);
    const bool reported = HeapCompatibility(heap) == 2;
    HeapDestroy(heap);
    return reported;
}

TEST_F(MemoryStrategy, LowFragmentationHeapOnRequest) {
    ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, 0);
    EXPECT_EQ(HeapCompatibility(hZAVHeap), 0u);
    ZAV_MemoryPoolFree();
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptLowFragHeap), 0u);
    if (HeapsReportTheirMode()) {
        EXPECT_EQ(HeapCompatibility(hZAVHeap), 2u);
    }
    // The definition-time option is no per-call flag.
    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(8, 0));
    ASSERT_NE(p, nullptr);
    ZAV_MemoryFree(p);
}

TEST_F(MemoryStrategy, GlobalOperatorsServeStrategyOne) {
    ZAV_MemoryDefine(ZAVMemAllocNew, 0, ZAVMemOptGuard | ZAVMemOptZeroFill);
    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(5000, 0));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(p[i], 0);
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);
}

// Whether this system's HeapCompact measures anything (Wine's answers 0).
bool HeapCompactionMeasures() {
    HANDLE heap = HeapCreate(0, 0, 0);
    void* big = HeapAlloc(heap, 0, 500000);
    void* after = HeapAlloc(heap, 0, 100);
    HeapFree(heap, 0, big);
    const bool measures = HeapCompact(heap, 0) > 0;
    HeapFree(heap, 0, after);
    HeapDestroy(heap);
    return measures;
}

TEST_F(MemoryStrategy, CompactionAtMostOncePerInterval) {
    if (!HeapCompactionMeasures()) GTEST_SKIP() << "this system's HeapCompact answers 0 for every heap";
    ZAV_IN_FRESH_PROCESS({
        ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, 0);
        void* big = ZAV_MemoryGet(500000, 0);
        void* after = ZAV_MemoryGet(100, 0);  // keeps the freed block off the heap's end
        ZAV_MemoryFree(big);
        EXPECT_GE(ZAV_MemoryCompact(0, 0), 500000u) << "the largest free block";
        ZAV_MemoryFree(after);
        // Within the minute the second call does nothing.
        EXPECT_EQ(ZAV_MemoryCompact(60000, 1), 0u);
        EXPECT_GT(ZAV_MemoryCompact(0, 1), 0u);
        // Without a private heap the process heap is compacted.
        ZAV_MemoryPoolFree();
        void* probe = HeapAlloc(GetProcessHeap(), 0, 64);
        HeapFree(GetProcessHeap(), 0, probe);
        EXPECT_GT(ZAV_MemoryCompact(0, 0), 0u);
    });
}

}  // namespace
