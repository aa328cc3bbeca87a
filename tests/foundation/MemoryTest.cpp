// The memory manager's strategies, guard words, fill and counts; on the
// POSIX stand-in also where it hides an entry point or refuses a heap.
// (Older platforms: FrameTest.cpp, beside the version answers.)
#include "MemoryFixture.h"

namespace {

uint32_t Low32(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

DWORD CommittedInFirstRegion() {
    PROCESS_HEAP_ENTRY e{};
    EXPECT_TRUE(HeapWalk(hZAVHeap, &e) && (e.wFlags & PROCESS_HEAP_REGION));
    return e.Region.dwCommittedSize;
}

// The manager's exported state in one line: strategy, options, bytes
// counted busy, and whether a private heap and a table exist.
std::string State() {
    return std::to_string(ZAVMemAllocType) + " " + std::to_string(ZAVMemOptions) + " " +
           std::to_string(ZAV_PoolMemBusy) + (hZAVHeap ? " heap" : "") + (g_pZAVMemCtl ? " table" : "");
}

// Header and trailer hold the block's start and the trailer's address, then
// their own patterns; the caller's bytes come filled with EA (per-call flags
// replace the zero-fill default whole). Damage to any word throws 9 and
// leaves the block recorded, counted and in the variable.
TEST_F(MemoryManagerTest, GuardWordsAndTheirDamage) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard | ZAVMemOptZeroFill);
    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(10, 0x1));
    const uint32_t header[] = {Low32(p - 16), Low32(p + 10), 0xFDFEFDFE, 0xDDCCBBAA};  // FE FD FE FD AA BB CC DD
    const uint32_t trailer[] = {Low32(p - 16), Low32(p + 10), 0xEEFEEFEE, 0xAABBCCDD};  // EE EF FE EE DD CC BB AA
    EXPECT_TRUE(memcmp(p - 16, header, 16) == 0 && memcmp(p + 10, trailer, 16) == 0);
    EXPECT_EQ(std::count(p, p + 10, 0xEA), 10);
    const ZAVUInt64 busy = ZAV_PoolMemBusy;
    void* variable = p;
    for (unsigned char* word : {p - 16, p - 12, p - 8, p - 4, p + 10, p + 14, p + 18, p + 22}) {
        *word ^= 0x01;
        EXPECT_EQ(ThrownCode<LONG>([&] { ZAV_MemoryFreePtr(&variable); }), 9) << word - p;
        *word ^= 0x01;
        EXPECT_TRUE(variable == p && ZAV_PoolMemBusy == busy && g_pZAVMemCtl->Entries[0].Address == p);
    }
    EXPECT_TRUE(ZAV_MemoryFreePtr(&variable) == 0 && variable == nullptr);
    EXPECT_TRUE(ZAV_MemoryFreePtr(nullptr) == 0 && ZAV_MemoryFree(nullptr) == 0);
    EXPECT_EQ(ZAV_MemoryGet(0xFFFFFFF0u, 0), nullptr) << "the guard words overflow the size";
}

// The first get defines the runtime heap and clears the options; per-call
// flags still apply. The count follows the monitoring switch at each call,
// the table is decided at definition, and an address the table does not
// hold is released and counted out all the same, with 20014. An unknown
// strategy is stored as given and hands out and releases nothing.
TEST_F(MemoryManagerTest, RuntimeHeapCountsForeignAddressesAndUnknownStrategies) {
    ZAVMemOptions = ZAVMemOptGuard | ZAVMemOptZeroFill;
    ZAV_MemoryFree(ZAV_MemoryGet(10, 0));
    EXPECT_EQ(State(), "2 0 0");
    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(4000, ZAVMemOptZeroFill));
    EXPECT_EQ(std::count(p, p + 4000, 0), 4000);
    ZAV_MemoryFree(p);
    ZAV_MonitorMemory = 1;
    p = static_cast<unsigned char*>(ZAV_MemoryGet(1000, 0));
    EXPECT_EQ(ZAV_PoolMemBusy, _msize(p));
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);
    EXPECT_EQ(State(), "2 0 0");
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    void* own = ZAV_MemoryGet(48, 0);
    void* foreign = malloc(48);
    const ZAVUInt64 before = ZAV_PoolMemBusy - _msize(foreign);
    EXPECT_EQ(ZAV_MemoryFree(foreign), ZAV_MEM_NOT_MONITORED);
    EXPECT_EQ(ZAV_PoolMemBusy, before);
    ZAV_MemCtlBlock* abandoned = g_pZAVMemCtl;  // a redefinition lets go of its table
    ZAV_MemoryDefine(static_cast<enumZAVMemoryAlloc>(7), 0, 0);
    EXPECT_EQ(State(), "7 0 0 table");
    EXPECT_EQ(ZAV_MemoryGet(16, 0), nullptr);
    EXPECT_EQ(ZAV_MemoryFree(own), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ZAVMemAllocType = ZAVMemAllocCRT;
    EXPECT_EQ(ZAV_MemoryFree(own), ZAV_MEM_NOT_MONITORED) << "the block was left alone";
    free(abandoned);
}

// The private heap, once chosen, stays until the pool is released: a
// redefinition changes only the options. It counts what HeapSize measures,
// and is the low-fragmentation heap on request, as a heap of the caller's
// reports it (Wine takes the setting and reports 0, as for any heap). On the
// stand-in, with the entry point hidden the request is ignored, and neither
// a redefinition nor a release leaves what a failed creation leaves.
TEST_F(MemoryManagerTest, PrivateHeapLifecycleCountAndLowFragmentation) {
    ZAV_MonitorMemory = 1;
    ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptGuard), 0u);
    EXPECT_EQ(CommittedInFirstRegion(), 65536u) << "initial size 0 means 65536";
    EXPECT_EQ(HeapCompatibility(hZAVHeap), 0u);
    ZAV_MemoryGet(100, 0);  // left live: the release takes it and zeroes the count
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard | ZAVMemOptZeroFill), 0u);
    EXPECT_EQ(State(), "3 1073741832 132 heap table");
    ZAV_MemoryPoolFree();
    EXPECT_EQ(State(), "0 1073741832 0") << "options left as they are";
    HANDLE probe = HeapCreate(0, 0, 0);
    ULONG lowFragmentation = 2;
    HeapSetInformation(probe, HeapCompatibilityInformation, &lowFragmentation, sizeof lowFragmentation);
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 100000, ZAVMemOptLowFragHeap), 0u);
    EXPECT_TRUE(CommittedInFirstRegion() % 4096 == 0 && CommittedInFirstRegion() >= 100000) << "whole pages";
    EXPECT_EQ(HeapCompatibility(hZAVHeap), HeapCompatibility(probe));
    HeapDestroy(probe);
#ifndef _WIN32
    ZAV_MemoryPoolFree();
    ZAVPlatformTest_HideProcedure("HeapSetInformation", TRUE);
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptLowFragHeap), 0u);
    ZAVPlatformTest_HideProcedure("HeapSetInformation", FALSE);
    EXPECT_EQ(HeapCompatibility(hZAVHeap), 0u);
    ZAV_MemoryPoolFree();
    ZAVPlatformTest_FailHeapCreate(TRUE);
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, 0), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    ZAVPlatformTest_FailHeapCreate(FALSE);
    EXPECT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0), 0u);
    ZAV_MemoryPoolFree();
    EXPECT_EQ(State(), "3 0 0");
    EXPECT_EQ(ZAV_MemoryGet(10, 0), nullptr);
#endif
}

TEST_F(MemoryManagerTest, CompactionAtMostOncePerInterval) {
    ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, 0);
    void* big = ZAV_MemoryGet(500000, 0);
    ZAV_MemoryGet(100, 0);  // keeps the freed block off the heap's end
    ZAV_MemoryFree(big);
    const DWORD largest = ZAV_MemoryCompact(0, 0);
    if (largest == 0 && HeapCompact(GetProcessHeap(), 0) == 0) GTEST_SKIP() << "HeapCompact answers 0 here (Wine)";
    EXPECT_GE(largest, 500000u) << "the largest free block";
    EXPECT_EQ(ZAV_MemoryCompact(60000, 1), 0u) << "within the minute";
    EXPECT_GT(ZAV_MemoryCompact(0, 1), 0u);
    ZAV_MemoryPoolFree();  // without a private heap the process heap is compacted
    HeapFree(GetProcessHeap(), 0, HeapAlloc(GetProcessHeap(), 0, 64));
    EXPECT_GT(ZAV_MemoryCompact(0, 0), 0u);
}

}  // namespace
