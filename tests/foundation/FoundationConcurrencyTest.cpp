// The CRC's first calls, locked lists and the tick widener under threads;
// the monitoring table's own are in MemoryMonitorTest.cpp.
#include "MemoryFixture.h"
#include "TimerArithmetic.h"

namespace {

TEST(Crc, ConcurrentFirstCallsAgree) {
    std::vector<unsigned char> data(5000, 0x5A);
    std::vector<DWORD> got(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] { got[t] = ZAV_CRCCompute(0xFFFFFFFF, data.data(), 5000); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(std::count(got.begin(), got.end(), ZAV_CRCCompute(0xFFFFFFFF, data.data(), 5000)), 8);
}

// Threads push at both ends of one locked list and pop; some hold the lock
// around several calls, as a walk may. Every item comes off exactly once.
TEST(LockedList, ThreadsPushAndPopWithoutLossOrDuplication) {
    constexpr int kThreads = 4, kPerThread = 20000;
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    ZAVLinkAnchor anchor;
    ZAV_LinkInitAnchor(&anchor, &cs);
    std::vector<ListItem> items(kThreads * kPerThread);
    std::vector<int> popped[kThreads];
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                ListItem& item = items[t * kPerThread + i];
                item.value = t * kPerThread + i;
                const bool held = i % 5 == 0;  // the lock is reentrant for its holder
                if (held) EnterCriticalSection(&cs);
                ASSERT_EQ(i % 2 ? ZAV_LinkToTail(&anchor, LinkOf(item)) : ZAV_LinkToHead(&anchor, LinkOf(item)), 0u);
                ZAVLink* l = i % 3 == 0 ? ZAV_LinkPopFirst(&anchor) : nullptr;
                if (l != nullptr) popped[t].push_back(ValueOf(l));
                if (held) LeaveCriticalSection(&cs);
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

TEST(TickWidener, ConcurrentReadersNeverCountAStaleReadingAsAWrap) {
    zav::TickWidener widener;
    std::atomic<uint32_t> clock{0xFFFF0000u};
    std::atomic<bool> backwards{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            uint64_t last = 0;
            for (int i = 0; i < 50000; ++i) {
                const uint64_t v = widener.Milliseconds([&] { return clock.fetch_add(1); });
                if (v < last) backwards = true;
                last = v;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_FALSE(backwards.load());
    // At least 200000 ticks from 0xFFFF0000 (retries read more) cross zero once.
    EXPECT_TRUE(clock.load() >= 200000u - 0x10000u && clock.load() < 0x80000000u);
    EXPECT_EQ(widener.Milliseconds([&] { return clock.load(); }), (1ull << 32) | clock.load());
}

}  // namespace
