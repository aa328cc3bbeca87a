#include <algorithm>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "ZAVPlatform.h"

namespace {

struct RegionView {
    PROCESS_HEAP_ENTRY region;
    std::vector<PROCESS_HEAP_ENTRY> blocks;
    std::vector<PROCESS_HEAP_ENTRY> uncommitted;
};

std::vector<RegionView> WalkAll(HANDLE heap) {
    std::vector<RegionView> regions;
    PROCESS_HEAP_ENTRY e{};
    EXPECT_TRUE(HeapLock(heap));
    while (HeapWalk(heap, &e)) {
        if (e.wFlags & PROCESS_HEAP_REGION) {
            regions.push_back({e, {}, {}});
            continue;
        }
        EXPECT_FALSE(regions.empty());
        if (regions.empty()) break;
        EXPECT_EQ(e.iRegionIndex, regions.back().region.iRegionIndex);
        (e.wFlags & PROCESS_HEAP_UNCOMMITTED_RANGE ? regions.back().uncommitted : regions.back().blocks).push_back(e);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(HeapUnlock(heap));
    return regions;
}

uintptr_t Addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// Blocks tile each region's committed range; the rest is one uncommitted range.
void ExpectTiled(const std::vector<RegionView>& regions) {
    for (const RegionView& r : regions) {
        const auto& info = r.region.Region;
        ASSERT_FALSE(r.blocks.empty());
        EXPECT_EQ(info.dwCommittedSize + info.dwUnCommittedSize, r.region.cbData);
        uintptr_t expected = Addr(info.lpFirstBlock) + 16;
        for (const auto& b : r.blocks) {
            EXPECT_EQ(Addr(b.lpData), expected);
            expected = Addr(b.lpData) + b.cbData + b.cbOverhead;
        }
        EXPECT_EQ(expected, Addr(info.lpLastBlock) + 16);
        EXPECT_EQ(Addr(info.lpLastBlock), Addr(r.region.lpData) + info.dwCommittedSize);
        if (info.dwUnCommittedSize == 0) {
            EXPECT_TRUE(r.uncommitted.empty());
        } else {
            ASSERT_EQ(r.uncommitted.size(), 1u);
            EXPECT_EQ(r.uncommitted[0].lpData, info.lpLastBlock);
            EXPECT_EQ(r.uncommitted[0].cbData, info.dwUnCommittedSize);
        }
    }
}

TEST(HeapWalk, SeesEveryBusyBlockWithItsRequestedSize) {
    HANDLE heap = HeapCreate(0, 65536, 0);
    std::map<uintptr_t, DWORD> live;
    for (DWORD n = 1; n < 3000; n += 37) live[Addr(HeapAlloc(heap, 0, n))] = n;
    void* large = HeapAlloc(heap, 0, 5u << 20);  // forces a second region
    live[Addr(large)] = 5u << 20;
    // Free every third block so busy and free blocks alternate.
    int i = 0;
    for (auto it = live.begin(); it != live.end();)
        if (++i % 3 == 0 && Addr(large) != it->first) {
            HeapFree(heap, 0, reinterpret_cast<void*>(it->first));
            it = live.erase(it);
        } else {
            ++it;
        }

    auto regions = WalkAll(heap);
    ASSERT_GE(regions.size(), 2u);
    EXPECT_EQ(regions[0].region.iRegionIndex, 0);
    EXPECT_EQ(regions[1].region.iRegionIndex, 1);
    ExpectTiled(regions);
    std::map<uintptr_t, DWORD> seen;
    for (auto& r : regions)
        for (auto& b : r.blocks) {
            if (b.wFlags & PROCESS_HEAP_ENTRY_BUSY) seen[Addr(b.lpData)] = b.cbData;
            else EXPECT_EQ(b.wFlags, 0);
        }
    EXPECT_EQ(seen, live);
    HeapDestroy(heap);
}

TEST(HeapWalk, FreedNeighboursMergeIntoOneFreeBlock) {
    HANDLE heap = HeapCreate(0, 0, 0);
    std::vector<void*> blocks;
    for (int i = 0; i < 200; ++i) blocks.push_back(HeapAlloc(heap, 0, 24 + i));
    std::reverse(blocks.begin() + 50, blocks.end());  // free out of order
    for (void* p : blocks) HeapFree(heap, 0, p);
    auto regions = WalkAll(heap);
    ASSERT_EQ(regions.size(), 1u);
    ASSERT_EQ(regions[0].blocks.size(), 1u);
    EXPECT_EQ(regions[0].blocks[0].wFlags, 0);
    ExpectTiled(regions);
    HeapDestroy(heap);
}

TEST(HeapWalk, CompactionShowsAsUncommittedRange) {
    HANDLE heap = HeapCreate(0, 65536, 0);
    void* big = HeapAlloc(heap, 0, 400000);
    auto before = WalkAll(heap);
    HeapFree(heap, 0, big);
    HeapCompact(heap, 0);
    auto after = WalkAll(heap);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_LT(after[0].region.Region.dwCommittedSize, before[0].region.Region.dwCommittedSize);
    ExpectTiled(after);
    HeapDestroy(heap);
}

TEST(HeapWalk, ProcessHeapIsWalkableAndABogusCursorIsRefused) {
    HANDLE heap = GetProcessHeap();
    void* p = HeapAlloc(heap, 0, 77);
    auto regions = WalkAll(heap);
    bool found = false;
    for (auto& r : regions)
        for (auto& b : r.blocks) found |= b.lpData == p && b.cbData == 77;
    EXPECT_TRUE(found);
    HeapFree(heap, 0, p);

    alignas(16) unsigned char junk[64] = {};
    PROCESS_HEAP_ENTRY e{};
    e.lpData = junk + 32;
    EXPECT_FALSE(HeapWalk(heap, &e));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
