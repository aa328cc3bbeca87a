#include <string.h>

#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

struct Heap {
    HANDLE h = HeapCreate(0, 65536, 0);
    ~Heap() { HeapDestroy(h); }
};

TEST(PrivateHeap, AllocationsAreAlignedSizedAndIndependent) {
    Heap heap;
    ASSERT_NE(heap.h, nullptr);
    std::vector<std::pair<unsigned char*, size_t>> blocks;
    for (size_t n : {1, 15, 16, 17, 100, 4096, 70000, 3 << 20}) {
        auto* p = static_cast<unsigned char*>(HeapAlloc(heap.h, 0, n));
        ASSERT_NE(p, nullptr) << n;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
        EXPECT_EQ(HeapSize(heap.h, 0, p), n);
        memset(p, static_cast<int>(n & 0xFF), n);
        blocks.emplace_back(p, n);
    }
    for (auto& [p, n] : blocks)
        for (size_t i = 0; i < n; i += 97) ASSERT_EQ(p[i], static_cast<unsigned char>(n & 0xFF));
    EXPECT_TRUE(HeapValidate(heap.h, 0, nullptr));
    for (auto& [p, n] : blocks) EXPECT_TRUE(HeapFree(heap.h, 0, p));
    EXPECT_TRUE(HeapValidate(heap.h, 0, nullptr));
}

TEST(PrivateHeap, ZeroFillAndZeroSizedRequests) {
    Heap heap;
    auto* dirty = static_cast<unsigned char*>(HeapAlloc(heap.h, 0, 256));
    memset(dirty, 0xCC, 256);
    HeapFree(heap.h, 0, dirty);
    auto* p = static_cast<unsigned char*>(HeapAlloc(heap.h, HEAP_ZERO_MEMORY, 256));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(p[i], 0);
    void* empty = HeapAlloc(heap.h, 0, 0);
    ASSERT_NE(empty, nullptr);  // as Windows: a valid, distinct block
    EXPECT_EQ(HeapSize(heap.h, 0, empty), 0u);
    EXPECT_NE(empty, p);
}

TEST(PrivateHeap, BadPointersAndHandlesAreRefused) {
    Heap heap;
    auto* p = static_cast<char*>(HeapAlloc(heap.h, 0, 64));
    EXPECT_TRUE(HeapFree(heap.h, 0, p));
    SetLastError(0);
    EXPECT_FALSE(HeapFree(heap.h, 0, p)) << "double free";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(HeapSize(heap.h, 0, p), static_cast<SIZE_T>(-1));
    EXPECT_TRUE(HeapFree(heap.h, 0, nullptr));

    int local = 0;
    EXPECT_FALSE(HeapAlloc(reinterpret_cast<HANDLE>(&local), 0, 8));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(HeapDestroy(GetProcessHeap()));
    EXPECT_TRUE(HeapValidate(heap.h, 0, nullptr));
}

TEST(PrivateHeap, ReallocationKeepsContents) {
    Heap heap;
    auto* p = static_cast<unsigned char*>(HeapAlloc(heap.h, 0, 40));
    for (int i = 0; i < 40; ++i) p[i] = static_cast<unsigned char>(i);
    auto* q = static_cast<unsigned char*>(HeapReAlloc(heap.h, HEAP_ZERO_MEMORY, p, 5000));
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(q[i], i);
    for (int i = 40; i < 5000; ++i) ASSERT_EQ(q[i], 0);
    auto* r = static_cast<unsigned char*>(HeapReAlloc(heap.h, 0, q, 10));
    EXPECT_EQ(r, q) << "shrinking stays in place";
    EXPECT_EQ(HeapSize(heap.h, 0, r), 10u);
    EXPECT_TRUE(HeapValidate(heap.h, 0, nullptr));
}

TEST(PrivateHeap, CompactionReturnsTailPagesAndReportsLargestFreeBlock) {
    Heap heap;
    void* big = HeapAlloc(heap.h, 0, 600000);
    void* small = HeapAlloc(heap.h, 0, 100);
    HeapFree(heap.h, 0, big);
    SIZE_T largest = HeapCompact(heap.h, 0);
    EXPECT_GE(largest, 600000u - 16);
    // After compaction the heap still serves and grows again.
    void* again = HeapAlloc(heap.h, 0, 900000);
    ASSERT_NE(again, nullptr);
    memset(again, 1, 900000);
    HeapFree(heap.h, 0, again);
    HeapFree(heap.h, 0, small);
    EXPECT_TRUE(HeapValidate(heap.h, 0, nullptr));
}

TEST(PrivateHeap, LowFragmentationSettingIsKept) {
    Heap heap;
    ULONG value = 7;
    ASSERT_TRUE(HeapQueryInformation(heap.h, HeapCompatibilityInformation, &value, sizeof value, nullptr));
    EXPECT_EQ(value, 0u);
    ULONG lfh = 2;
    EXPECT_TRUE(HeapSetInformation(heap.h, HeapCompatibilityInformation, &lfh, sizeof lfh));
    HeapQueryInformation(heap.h, HeapCompatibilityInformation, &value, sizeof value, nullptr);
    EXPECT_EQ(value, 2u);
    ULONG other = 1;
    EXPECT_FALSE(HeapSetInformation(heap.h, HeapCompatibilityInformation, &other, sizeof other));
}

// A random mix against a model of what each live block must hold.
TEST(PrivateHeap, RandomMixKeepsEveryBlockIntact) {
    Heap heap;
    std::mt19937 rng(1234);
    struct Live {
        unsigned char* p;
        size_t n;
        unsigned char fill;
    };
    std::vector<Live> live;
    for (int step = 0; step < 20000; ++step) {
        if (live.empty() || rng() % 3 != 0) {
            size_t n = rng() % 8 == 0 ? rng() % 100000 : rng() % 600;
            auto* p = static_cast<unsigned char*>(HeapAlloc(heap.h, 0, n));
            ASSERT_NE(p, nullptr);
            auto fill = static_cast<unsigned char>(rng());
            memset(p, fill, n);
            live.push_back({p, n, fill});
        } else {
            size_t i = rng() % live.size();
            Live b = live[i];
            for (size_t k = 0; k < b.n; k += 61) ASSERT_EQ(b.p[k], b.fill);
            if (b.n > 0) {
                ASSERT_EQ(b.p[b.n - 1], b.fill);
            }
            ASSERT_TRUE(HeapFree(heap.h, 0, b.p));
            live[i] = live.back();
            live.pop_back();
        }
        if (step % 2500 == 0) {
            ASSERT_TRUE(HeapValidate(heap.h, 0, nullptr)) << step;
        }
    }
    for (auto& b : live) HeapFree(heap.h, 0, b.p);
    ASSERT_TRUE(HeapValidate(heap.h, 0, nullptr));
}

TEST(PrivateHeap, CreationFailureCanBeForced) {
    ZAVPlatformTest_FailHeapCreate(TRUE);
    EXPECT_EQ(HeapCreate(0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    ZAVPlatformTest_FailHeapCreate(FALSE);
}

// The allocation control refuses exactly the nth allocation while it
// counts every one, which is how a test learns a workload's allocations.
TEST(PrivateHeap, AllocationControlRefusesTheNthAndCountsEach) {
    Heap heap;
    ZAVPlatformTest_FailAllocation(3, FALSE);
    void* blocks[5];
    for (void*& b : blocks) b = HeapAlloc(heap.h, 0, 24);
    EXPECT_EQ(ZAVPlatformTest_AllocationsRefused(), 1u);
    EXPECT_EQ(ZAVPlatformTest_AllocationsCounted(), 5u);
    EXPECT_EQ(blocks[2], nullptr);
    for (int i : {0, 1, 3, 4}) EXPECT_NE(blocks[i], nullptr) << i;
    ZAVPlatformTest_FailAllocation(2, TRUE);
    for (void*& b : blocks) {
        HeapFree(heap.h, 0, b);
        b = HeapAlloc(heap.h, 0, 24);
    }
    EXPECT_EQ(ZAVPlatformTest_AllocationsRefused(), 4u) << "the second and every later one";
    EXPECT_NE(blocks[0], nullptr);
    ZAVPlatformTest_FailAllocation(0, FALSE);
    EXPECT_EQ(ZAVPlatformTest_AllocationsCounted(), 0u);
    void* more = HeapAlloc(heap.h, 0, 24);
    EXPECT_NE(more, nullptr);
    EXPECT_EQ(ZAVPlatformTest_AllocationsCounted(), 0u) << "disarmed, nothing is counted";
    HeapFree(heap.h, 0, more);
    for (void* b : blocks) HeapFree(heap.h, 0, b);
}

}  // namespace
