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

uintptr_t Addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// The busy blocks a walk of the heap shows, by address; counts[0] counts
// its regions, counts[1] its free blocks.
std::map<uintptr_t, SIZE_T> Walk(HANDLE heap, int counts[2]) {
    std::map<uintptr_t, SIZE_T> busy;
    PROCESS_HEAP_ENTRY e{};
    EXPECT_TRUE(HeapLock(heap));
    while (HeapWalk(heap, &e)) {
        if (e.wFlags == PROCESS_HEAP_ENTRY_BUSY) busy[Addr(e.lpData)] = e.cbData;
        counts[0] += (e.wFlags & PROCESS_HEAP_REGION) != 0;
        counts[1] += e.wFlags == 0;
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(HeapUnlock(heap));
    return busy;
}

TEST(PrivateHeap, RandomMixAgreesWithAModelAndTheWalk) {
    Heap heap;
    std::mt19937 rng(1234);
    std::map<uintptr_t, std::pair<SIZE_T, unsigned char>> live;  // size, fill
    for (int step = 1; step <= 20000; ++step) {
        const unsigned op = live.empty() ? 0 : rng() % 6;
        const auto it = std::next(live.begin(), live.empty() ? 0 : rng() % live.size());
        const SIZE_T n = step % 4000 == 1 ? (3u << 20) + rng() % (3u << 20) : rng() % (rng() % 8 == 0 ? 100000 : 600);
        const DWORD flags = rng() % 4 == 0 ? HEAP_ZERO_MEMORY : 0;
        const auto fill = static_cast<unsigned char>(rng() | 1);
        unsigned char* p = nullptr;
        if (op < 3) {
            p = static_cast<unsigned char*>(HeapAlloc(heap.h, flags, n));
        } else {
            const auto [old, oldFill] = it->second;
            if (op == 3) {
                p = static_cast<unsigned char*>(HeapReAlloc(heap.h, flags, reinterpret_cast<void*>(it->first), n));
                ASSERT_NE(p, nullptr);
                ASSERT_TRUE(n > old || Addr(p) == it->first) << "shrinking stays in place";
                for (SIZE_T k = 0; k < std::min(n, old); k += 13) ASSERT_EQ(p[k], oldFill);
                for (SIZE_T k = old; flags != 0 && k < n; k += 13) ASSERT_EQ(p[k], 0) << k;
            } else {
                ASSERT_TRUE(HeapFree(heap.h, 0, reinterpret_cast<void*>(it->first)));
            }
            live.erase(it);
        }
        if (p != nullptr) {
            ASSERT_EQ(Addr(p) % 16, 0u);
            for (SIZE_T k = 0; op < 3 && flags != 0 && k < n; k += 7) ASSERT_EQ(p[k], 0) << k;
            ASSERT_EQ(live.count(Addr(p)), 0u) << "a block handed out twice (zero-sized ones too)";
            memset(p, fill, n);
            live[Addr(p)] = {n, fill};
        }
        if (step % 2500 == 0) {
            ASSERT_TRUE(HeapValidate(heap.h, 0, nullptr)) << step;
            std::map<uintptr_t, SIZE_T> expected;  // and every block still holds its fill
            for (const auto& [address, block] : live) {
                for (SIZE_T k = 0; k < block.first; k += 61)
                    ASSERT_EQ(reinterpret_cast<unsigned char*>(address)[k], block.second) << k;
                expected[address] = block.first;
            }
            int counts[2] = {};
            ASSERT_EQ(Walk(heap.h, counts), expected) << step;
        }
    }
    for (const auto& block : live) HeapFree(heap.h, 0, reinterpret_cast<void*>(block.first));
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
