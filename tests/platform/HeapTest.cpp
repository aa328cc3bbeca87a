// The stand-in's private heaps, checked against a model of the live blocks
// and against what HeapWalk shows of them.
#include <string.h>

#include <map>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

struct Heap {
    HANDLE h = HeapCreate(0, 65536, 0);
    ~Heap() { HeapDestroy(h); }
};

typedef unsigned char* Block;

// The busy blocks a walk of the heap shows, with their sizes; counts[0]
// counts its regions, counts[1] its free blocks.
std::map<Block, SIZE_T> Walk(HANDLE heap, int counts[2]) {
    std::map<Block, SIZE_T> busy;
    PROCESS_HEAP_ENTRY e{};
    EXPECT_TRUE(HeapLock(heap));
    while (HeapWalk(heap, &e)) {
        if (e.wFlags == PROCESS_HEAP_ENTRY_BUSY) busy[static_cast<Block>(e.lpData)] = e.cbData;
        counts[0] += (e.wFlags & PROCESS_HEAP_REGION) != 0;
        counts[1] += e.wFlags == 0;
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(HeapUnlock(heap));
    return busy;
}

// Rounds of random allocations (a large one first), reallocations and frees,
// each round checked against the model: every block holds its fill, and the
// walk shows exactly the live blocks.
TEST(PrivateHeap, RandomMixAgreesWithAModelAndTheWalk) {
    Heap heap;
    std::mt19937 rng(1234);
    std::map<Block, std::pair<SIZE_T, unsigned char>> live;  // size, fill
    for (int round = 0; round < 8; ++round) {
        for (int step = 0; step < 2500; ++step) {
            // Allocate (0-2), reallocate (3) or free (4, 5).
            const unsigned op = live.empty() ? 0 : rng() % 6;
            const auto it = std::next(live.begin(), live.empty() ? 0 : rng() % live.size());
            const SIZE_T n = step == 0 ? (3u << 20) + rng() % (3u << 20) : rng() % (rng() % 8 == 0 ? 100000 : 600);
            const DWORD flags = rng() % 4 == 0 ? HEAP_ZERO_MEMORY : 0;
            const auto [was, old] = op < 3 ? decltype(live)::value_type() : *it;
            if (op >= 3) live.erase(it);
            if (op > 3) {
                ASSERT_TRUE(HeapFree(heap.h, 0, was));
                continue;
            }
            auto* p = static_cast<Block>(op < 3 ? HeapAlloc(heap.h, flags, n) : HeapReAlloc(heap.h, flags, was, n));
            ASSERT_NE(p, nullptr);
            ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
            ASSERT_TRUE(op < 3 || n > old.first || p == was) << "shrinking stays in place";
            for (SIZE_T k = 0; k < std::min(n, old.first); k += 13) ASSERT_EQ(p[k], old.second);
            for (SIZE_T k = old.first; flags != 0 && k < n; k += 7) ASSERT_EQ(p[k], 0) << k;
            ASSERT_EQ(live.count(p), 0u) << "a block handed out twice (zero-sized ones too)";
            live[p] = {n, static_cast<unsigned char>(rng() | 1)};
            memset(p, live[p].second, n);
        }
        ASSERT_TRUE(HeapValidate(heap.h, 0, nullptr)) << round;
        std::map<Block, SIZE_T> expected;
        for (const auto& [p, block] : live) {
            for (SIZE_T k = 0; k < block.first; k += 61) ASSERT_EQ(p[k], block.second) << k;
            expected[p] = block.first;
        }
        int counts[2] = {};
        ASSERT_EQ(Walk(heap.h, counts), expected) << round;
    }
    for (const auto& block : live) HeapFree(heap.h, 0, block.first);
    // Freed neighbours merge: each region is one free block.
    int counts[2] = {};
    EXPECT_TRUE(Walk(heap.h, counts).empty());
    EXPECT_GE(counts[0], 2);
    EXPECT_EQ(counts[1], counts[0]);
}

// The error of a call that failed, 0 for one that succeeded.
DWORD Failure(bool succeeded) { return succeeded ? 0 : GetLastError(); }

TEST(PrivateHeap, BadPointersHandlesAndSettingsAreRefused) {
    Heap heap;
    auto* p = static_cast<char*>(HeapAlloc(heap.h, 0, 64));
    EXPECT_TRUE(HeapFree(heap.h, 0, p));
    EXPECT_TRUE(HeapFree(heap.h, 0, nullptr));
    EXPECT_EQ(Failure(HeapFree(heap.h, 0, p)), DWORD(ERROR_INVALID_PARAMETER)) << "double free";
    EXPECT_EQ(HeapSize(heap.h, 0, p), static_cast<SIZE_T>(-1));
    int local = 0;
    EXPECT_EQ(Failure(HeapAlloc(reinterpret_cast<HANDLE>(&local), 0, 8)), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(HeapDestroy(GetProcessHeap()));
    EXPECT_TRUE(HeapValidate(heap.h, 0, nullptr));
    alignas(16) unsigned char junk[64] = {};
    PROCESS_HEAP_ENTRY e{};
    e.lpData = junk + 32;
    EXPECT_EQ(Failure(HeapWalk(heap.h, &e)), DWORD(ERROR_INVALID_PARAMETER)) << "a bogus cursor";
    ULONG one = 1;  // only the low-fragmentation setting (2) is taken
    EXPECT_EQ(Failure(HeapSetInformation(heap.h, HeapCompatibilityInformation, &one, sizeof one)),
              DWORD(ERROR_INVALID_PARAMETER));
    ZAVPlatformTest_FailHeapCreate(TRUE);
    EXPECT_EQ(Failure(HeapCreate(0, 0, 0)), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    ZAVPlatformTest_FailHeapCreate(FALSE);
}

// The allocation control refuses exactly the nth allocation while it
// counts every one, which is how a test learns a workload's allocations.
TEST(PrivateHeap, AllocationControlRefusesTheNthAndCountsEach) {
    Heap heap;
    for (const BOOL persistent : {FALSE, TRUE}) {
        ZAVPlatformTest_FailAllocation(3, persistent);
        void* blocks[5];
        for (void*& b : blocks) b = HeapAlloc(heap.h, 0, 24);
        EXPECT_EQ(ZAVPlatformTest_AllocationsRefused(), persistent ? 3u : 1u) << "the third, or it and every later one";
        EXPECT_EQ(ZAVPlatformTest_AllocationsCounted(), 5u);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(blocks[i] == nullptr, i == 2 || (persistent && i > 2)) << i;
        for (void* b : blocks) HeapFree(heap.h, 0, b);
    }
    ZAVPlatformTest_FailAllocation(0, FALSE);
    void* more = HeapAlloc(heap.h, 0, 24);
    EXPECT_NE(more, nullptr);
    EXPECT_EQ(ZAVPlatformTest_AllocationsCounted(), 0u) << "disarmed, nothing is counted";
    HeapFree(heap.h, 0, more);
}

}  // namespace
