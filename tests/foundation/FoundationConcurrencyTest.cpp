#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "MemoryFixture.h"
#include "ReferenceCrc.h"
#include "TimerArithmetic.h"

namespace {

using Memory = MemoryManagerTest;

struct Item {
    ZAVLink link;  // first member: the item's address is its link's
    int value;
};

ZAVLink* L(Item& item) { return &item.link; }
int ValueOf(ZAVLink* link) { return reinterpret_cast<Item*>(link)->value; }

DWORD Crc(DWORD crc, const void* p, size_t n) {
    return ZAV_CRCCompute(crc, static_cast<unsigned char*>(const_cast<void*>(p)), static_cast<DWORD>(n));
}

TEST(Crc, ConcurrentFirstCallsAgree) {
    std::vector<unsigned char> data(5000, 0x5A);
    const DWORD expected = ReferenceCrc(0xFFFFFFFF, data.data(), data.size());
    std::vector<std::thread> threads;
    std::vector<DWORD> got(8);
    for (int t = 0; t < 8; ++t) threads.emplace_back([&, t] { got[t] = Crc(0xFFFFFFFF, data.data(), data.size()); });
    for (auto& t : threads) t.join();
    for (DWORD g : got) EXPECT_EQ(g, expected);
}

TEST(LockedList, TheLockIsReentrantForItsHolder) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    ZAVLinkAnchor anchor;
    ZAV_LinkInitAnchor(&anchor, &cs);
    EXPECT_EQ(anchor.pLock, &cs);
    Item a{{}, 1}, b{{}, 2};
    EnterCriticalSection(&cs);  // a walk holding the lock may call the list functions
    ZAV_LinkToTail(&anchor, L(a));
    ZAV_LinkToTail(&anchor, L(b));
    EXPECT_EQ(ZAV_LinkNext(&anchor, anchor.pFirst), L(b));
    EXPECT_EQ(ZAV_LinkPopFirst(&anchor), L(a));
    LeaveCriticalSection(&cs);
    std::atomic<bool> taken{false};
    std::thread([&] { taken = ZAV_LinkPopFirst(&anchor) == L(b); }).join();
    EXPECT_TRUE(taken.load()) << "every path left the lock";
    DeleteCriticalSection(&cs);
}

// Producers and consumers share one locked list; every item comes off once.
TEST(LockedList, ThreadsPushAndPopWithoutLossOrDuplication) {
    constexpr int kThreads = 4, kPerThread = 20000;
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    ZAVLinkAnchor anchor;
    ZAV_LinkInitAnchor(&anchor, &cs);
    std::vector<Item> items(kThreads * kPerThread);
    for (size_t i = 0; i < items.size(); ++i) items[i].value = static_cast<int>(i);
    std::vector<std::vector<int>> popped(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                Item& item = items[t * kPerThread + i];
                ASSERT_EQ(i % 2 ? ZAV_LinkToTail(&anchor, L(item)) : ZAV_LinkToHead(&anchor, L(item)), 0u);
                if (i % 3 == 0)
                    if (ZAVLink* l = ZAV_LinkPopFirst(&anchor)) popped[t].push_back(ValueOf(l));
            }
        });
    for (auto& t : threads) t.join();
    std::vector<int> all;
    for (auto& p : popped) all.insert(all.end(), p.begin(), p.end());
    EXPECT_EQ(anchor.Count, items.size() - all.size());
    while (ZAVLink* l = ZAV_LinkPopFirst(&anchor)) all.push_back(ValueOf(l));
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), items.size());
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<int>(i));
    DeleteCriticalSection(&cs);
}

// Threads obtain and return guarded, monitored blocks at once: the table and
// the count end exactly where they began.
TEST_F(Memory, ConcurrentUseKeepsTableAndCountSound) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            std::mt19937 rng(t);
            std::vector<unsigned char*> mine;
            for (int i = 0; i < 20000; ++i) {
                if (mine.size() < 50 && rng() % 2 == 0) {
                    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(1 + rng() % 300, 0));
                    ASSERT_NE(p, nullptr);
                    p[0] = static_cast<unsigned char>(t);
                    mine.push_back(p);
                } else if (!mine.empty()) {
                    ASSERT_EQ(mine.back()[0], t);
                    ASSERT_EQ(ZAV_MemoryFree(mine.back()), 0u);
                    mine.pop_back();
                }
            }
            for (auto* p : mine) ASSERT_EQ(ZAV_MemoryFree(p), 0u);
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(ZAV_PoolMemBusy, 0u);
    int blocks = 0;
    for (ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext, ++blocks) {
        if (b->pNext != nullptr) {
            EXPECT_EQ(b->pNext->pPrior, b);
        }
        for (auto& e : b->Entries) EXPECT_EQ(e.Address, nullptr);
    }
    EXPECT_GE(blocks, 2) << "200 live blocks need seven table blocks at the peak";
}

TEST(TickWidener, ConcurrentReadersNeverCountAStaleReadingAsAWrap) {
    zav::TickWidener widener;
    std::atomic<uint32_t> clock{0xFFFF0000u};
    std::vector<std::thread> threads;
    std::atomic<bool> backwards{false};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            uint64_t last = 0;
            for (int i = 0; i < 50000; ++i) {
                uint64_t v = widener.Milliseconds([&] { return clock.fetch_add(1) ; });
                if (v < last) backwards = true;
                last = v;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_FALSE(backwards.load());
    // At least 200000 ticks from 0xFFFF0000 (retries read more) cross zero once.
    uint64_t final = widener.Milliseconds([&] { return clock.load(); });
    EXPECT_GE(clock.load(), 200000u - 0x10000u);
    EXPECT_LT(clock.load(), 0x80000000u);
    EXPECT_EQ(final, (1ull << 32) | clock.load());
}

}  // namespace
