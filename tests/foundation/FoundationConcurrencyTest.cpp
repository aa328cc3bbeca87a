// The CRC's first calls, locked lists and the tick widener under threads;
// the monitoring table's own are in MemoryMonitorTest.cpp.
#include "MemoryFixture.h"
#include "TimerArithmetic.h"

namespace {

TEST(Crc, ConcurrentFirstCallsAgree) {
    std::vector<unsigned char> data(5000, 0x5A);
    std::vector<DWORD> got(8);
    OnThreads(8, [&](int t) { got[t] = ZAV_CRCCompute(0xFFFFFFFF, data.data(), 5000); });
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
    std::vector<std::atomic<int>> taken(items.size());  // times each item came off
    OnThreads(kThreads, [&](int t) {
        for (int i = t * kPerThread; i < (t + 1) * kPerThread; ++i) {
            items[i].value = i;
            const bool held = i % 5 == 0;  // the lock is reentrant for its holder
            if (held) EnterCriticalSection(&cs);
            ASSERT_EQ(i % 2 ? ZAV_LinkToTail(&anchor, &items[i].link) : ZAV_LinkToHead(&anchor, &items[i].link), 0u);
            if (ZAVLink* l = i % 3 == 0 ? ZAV_LinkPopFirst(&anchor) : nullptr) ++taken[ValueOf(l)];
            if (held) LeaveCriticalSection(&cs);
        }
    });
    EXPECT_EQ(anchor.Count + std::count(taken.begin(), taken.end(), 1), kThreads * kPerThread);
    while (ZAVLink* l = ZAV_LinkPopFirst(&anchor)) ++taken[ValueOf(l)];
    EXPECT_EQ(std::count(taken.begin(), taken.end(), 1), kThreads * kPerThread);
    DeleteCriticalSection(&cs);
}

TEST(TickWidener, ConcurrentReadersNeverCountAStaleReadingAsAWrap) {
    zav::TickWidener widener;
    std::atomic<uint32_t> clock{0xFFFF0000u};
    OnThreads(4, [&](int) {
        for (uint64_t i = 0, last = 0; i < 50000; ++i) {
            const uint64_t now = widener.Milliseconds([&] { return clock.fetch_add(1); });
            ASSERT_GE(now, last) << "a stale reading taken for a wrap goes back";
            last = now;
        }
    });
    // At least 200000 ticks from 0xFFFF0000 (retries read more): one wrap.
    EXPECT_EQ(widener.Milliseconds([&] { return clock.load(); }), (1ull << 32) | clock.load());
}

}  // namespace
