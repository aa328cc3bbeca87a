#include <stdlib.h>
#include <string.h>

#include <random>
#include <thread>
#include <vector>

#include "MemoryFixture.h"

namespace {

using Memory = MemoryManagerTest;

uint32_t Word(const void* at, int index) {
    uint32_t w;
    memcpy(&w, static_cast<const unsigned char*>(at) + 4 * index, 4);
    return w;
}

uint32_t Low32(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

template <typename F>
LONG ThrownCode(F&& f) {
    try {
        f();
    } catch (LONG code) {
        return code;
    }
    return 0;
}

TEST_F(Memory, FirstGetDefinesTheRuntimeHeapWithNoOptions) {
    ZAVMemOptions = ZAVMemOptGuard | ZAVMemOptZeroFill;  // ignored: the implicit definition clears them
    void* p = ZAV_MemoryGet(10, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(ZAVMemAllocType, ZAVMemAllocCRT);
    EXPECT_EQ(ZAVMemOptions, 0u);
    EXPECT_GE(_msize(p), 10u) << "a malloc block, no guard header";
    EXPECT_EQ(ZAV_MemoryGet(0, 0), nullptr);
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);
}

TEST_F(Memory, GuardedBlockLayout) {
    ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard), 0u);
    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(10, 0));
    ASSERT_NE(p, nullptr);
    unsigned char* start = p - 16;
    unsigned char* trailer = p + 10;
    EXPECT_EQ(Word(start, 0), Low32(start));
    EXPECT_EQ(Word(start, 1), Low32(trailer));
    static const unsigned char headerBytes[] = {0xFE, 0xFD, 0xFE, 0xFD, 0xAA, 0xBB, 0xCC, 0xDD};
    static const unsigned char trailerBytes[] = {0xEE, 0xEF, 0xFE, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
    EXPECT_EQ(memcmp(start + 8, headerBytes, 8), 0);
    EXPECT_EQ(Word(trailer, 0), Low32(start));
    EXPECT_EQ(Word(trailer, 1), Low32(trailer));
    EXPECT_EQ(memcmp(trailer + 8, trailerBytes, 8), 0);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], 0xEA);
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);
}

TEST_F(Memory, DamagedGuardsThrowNineAndLeaveTheBlock) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard);
    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(10, 0));
    const ZAVUInt64 busy = ZAV_PoolMemBusy;
    // Each of the eight words, header then trailer, is checked.
    for (unsigned char* word : {p - 16, p - 12, p - 8, p - 4, p + 10, p + 14, p + 18, p + 22}) {
        unsigned char saved = *word;
        *word ^= 0x01;
        EXPECT_EQ(ThrownCode([&] { ZAV_MemoryFree(p); }), 9) << word - p;
        *word = saved;
        EXPECT_EQ(ZAV_PoolMemBusy, busy) << "nothing uncounted";
        EXPECT_EQ(g_pZAVMemCtl->Entries[0].Address, p) << "still recorded";
    }
    p[10] ^= 0xFF;  // one byte past the caller's area
    EXPECT_EQ(ThrownCode([&] { ZAV_MemoryFree(p); }), 9);
    p[10] ^= 0xFF;
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);

    alignas(16) unsigned char notABlock[64] = {};
    EXPECT_EQ(ThrownCode([&] { ZAV_MemoryFree(notABlock + 32); }), 9);
}

TEST_F(Memory, ZeroFillComesFromDefaultsOrFlags) {
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard | ZAVMemOptZeroFill);
    auto* zeroed = static_cast<unsigned char*>(ZAV_MemoryGet(64, 0));
    for (int i = 0; i < 64; ++i) ASSERT_EQ(zeroed[i], 0);
    // A non-zero flags argument replaces the defaults whole.
    auto* raw = static_cast<unsigned char*>(ZAV_MemoryGet(64, 0x1));
    for (int i = 0; i < 64; ++i) ASSERT_EQ(raw[i], 0xEA);
    ZAV_MemoryFree(zeroed);
    ZAV_MemoryFree(raw);

    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    auto* asked = static_cast<unsigned char*>(ZAV_MemoryGet(4000, ZAVMemOptZeroFill));
    for (int i = 0; i < 4000; ++i) ASSERT_EQ(asked[i], 0);
    ZAV_MemoryFree(asked);
}

TEST_F(Memory, GuardedRequestsThatOverflowFail) {
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard);
    EXPECT_EQ(ZAV_MemoryGet(0xFFFFFFF0u, 0), nullptr);
}

TEST_F(Memory, MonitorTableFillsFirstFitAndGrowsByChainedBlocks) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    ZAV_MemCtlBlock* first = g_pZAVMemCtl;
    ASSERT_NE(first, nullptr);
    std::vector<void*> blocks;
    for (DWORD i = 0; i < 32; ++i) blocks.push_back(ZAV_MemoryGet(100 + i, 0));
    for (int i = 0; i < 31; ++i) {
        EXPECT_EQ(first->Entries[i].Address, blocks[i]);
        EXPECT_EQ(first->Entries[i].Size, 100u + i);
        EXPECT_EQ(first->Entries[i].ThreadId, GetCurrentThreadId());
        EXPECT_EQ(first->Entries[i].TimeText[2], ':');
        EXPECT_EQ(first->Entries[i].TimeText[8], 0);
    }
    ZAV_MemCtlBlock* second = first->pNext;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->pPrior, first);
    EXPECT_EQ(first->pPrior, nullptr);
    EXPECT_EQ(second->Entries[0].Address, blocks[31]);

    EXPECT_EQ(ZAV_MemoryFree(blocks[0]), 0u);
    const ZAV_MemCtlEntry cleared{};
    EXPECT_EQ(memcmp(&first->Entries[0], &cleared, sizeof cleared), 0) << "the whole record is zeroed";
    blocks[0] = ZAV_MemoryGet(7, 0);
    EXPECT_EQ(first->Entries[0].Address, blocks[0]);
    EXPECT_EQ(first->Entries[0].Size, 7u);
    for (void* b : blocks) EXPECT_EQ(ZAV_MemoryFree(b), 0u);
}

TEST_F(Memory, AnAddressTheTableDoesNotHoldIsReleasedWith20014) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    void* own = ZAV_MemoryGet(48, 0);
    void* foreign = malloc(48);
    const ZAVUInt64 before = ZAV_PoolMemBusy;
    const size_t usable = _msize(foreign);
    EXPECT_EQ(ZAV_MemoryFree(foreign), ZAV_MEM_NOT_MONITORED);
    EXPECT_EQ(ZAV_PoolMemBusy, before - usable) << "released and counted out all the same";
    EXPECT_EQ(ZAV_MemoryFree(own), 0u);
}

TEST_F(Memory, BusyCountFollowsTheSwitchAtEachCall) {
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    ZAV_MonitorMemory = 1;
    void* p = ZAV_MemoryGet(1000, 0);
    EXPECT_EQ(ZAV_PoolMemBusy, _msize(p));
    EXPECT_EQ(g_pZAVMemCtl, nullptr) << "the table is decided at definition";
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);
    EXPECT_EQ(ZAV_PoolMemBusy, 0u);
    ZAV_MonitorMemory = 0;
    p = ZAV_MemoryGet(1000, 0);
    EXPECT_EQ(ZAV_PoolMemBusy, 0u);
    ZAV_MemoryFree(p);

    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocNew, 0, ZAVMemOptGuard);
    p = ZAV_MemoryGet(1000, 0);
    EXPECT_EQ(ZAV_PoolMemBusy, 0u) << "strategy 1 is never counted";
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);
}

TEST_F(Memory, UnknownStrategiesHandOutNothingAndReleaseNothing) {
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    void* p = ZAV_MemoryGet(16, 0);
    ZAV_MemoryDefine(static_cast<enumZAVMemoryAlloc>(7), 0, 0);
    EXPECT_EQ(ZAVMemAllocType, 7) << "stored as given";
    EXPECT_EQ(ZAV_MemoryGet(16, 0), nullptr);
    EXPECT_EQ(ZAV_MemoryFree(p), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ZAVMemAllocType = ZAVMemAllocCRT;
    EXPECT_EQ(ZAV_MemoryFree(p), 0u) << "the block was left alone";
}

TEST_F(Memory, FreePtrClearsTheVariableUnlessTheFreeThrows) {
    EXPECT_EQ(ZAV_MemoryFreePtr(nullptr), 0u);
    void* none = nullptr;
    EXPECT_EQ(ZAV_MemoryFreePtr(&none), 0u);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(ZAV_MemoryFree(nullptr), 0u);

    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard);
    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(8, 0));
    void* variable = p;
    p[8] ^= 0xFF;
    EXPECT_EQ(ThrownCode([&] { ZAV_MemoryFreePtr(&variable); }), 9);
    EXPECT_EQ(variable, p);
    p[8] ^= 0xFF;
    EXPECT_EQ(ZAV_MemoryFreePtr(&variable), 0u);
    EXPECT_EQ(variable, nullptr);
}

TEST_F(Memory, RedefiningWithMonitoringStartsAFreshTable) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    ZAV_MemCtlBlock* old = g_pZAVMemCtl;
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    EXPECT_NE(g_pZAVMemCtl, old);
    EXPECT_NE(g_pZAVMemCtl, nullptr);
    free(old);  // the manager lets go of it; the test cleans up
    ZAV_MemoryPoolFree();
    EXPECT_EQ(g_pZAVMemCtl, nullptr);
    EXPECT_EQ(ZAVMemAllocType, ZAVMemAllocCRT) << "strategies 1 and 2 stay defined";
}

}  // namespace
