// The monitoring table against a model of the plain first-fit walk: every
// block takes the first free record from the first table block on, a return
// clears the first record that holds its address, and a full table grows by
// one block linked behind the last. The whole table is compared after every
// step, so a record taken or cleared out of order shows at once.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "MemoryFixture.h"

namespace {

struct ModelRecord {
    DWORD threadId = 0;
    void* address = nullptr;
    DWORD size = 0;
};

// The linear walk, kept as plain arrays.
class LinearTable {
public:
    size_t blocks() const { return records_.size() / ZAV_MEMCTL_ENTRIES; }

    void Record(void* address, DWORD size) {
        // Every record before noneFreeBefore_ is taken, so the walk may start there.
        for (size_t i = noneFreeBefore_; i < records_.size(); ++i)
            if (records_[i].address == nullptr) {
                records_[i] = {GetCurrentThreadId(), address, size};
                noneFreeBefore_ = i + 1;
                return;
            }
        records_.resize(records_.size() + ZAV_MEMCTL_ENTRIES);
        records_[records_.size() - ZAV_MEMCTL_ENTRIES] = {GetCurrentThreadId(), address, size};
        noneFreeBefore_ = records_.size() - ZAV_MEMCTL_ENTRIES + 1;
    }

    bool Forget(void* address) {
        for (size_t i = 0; i < records_.size(); ++i)
            if (records_[i].address == address) {
                records_[i] = ModelRecord{};
                noneFreeBefore_ = std::min(noneFreeBefore_, i);
                return true;
            }
        return false;
    }

    // Takes the table as it stands, for checks that start after threads ran.
    void Adopt(const ZAV_MemCtlBlock* first) {
        records_.clear();
        noneFreeBefore_ = 0;
        for (const ZAV_MemCtlBlock* b = first; b != nullptr; b = b->pNext)
            for (const ZAV_MemCtlEntry& e : b->Entries) records_.push_back({e.ThreadId, e.Address, e.Size});
    }

    // Compares the whole chain, record by record, with the model.
    ::testing::AssertionResult Matches(const ZAV_MemCtlBlock* first) const {
        size_t index = 0;
        const ZAV_MemCtlBlock* prior = nullptr;
        for (const ZAV_MemCtlBlock* b = first; b != nullptr; prior = b, b = b->pNext) {
            if (b->pPrior != prior) return ::testing::AssertionFailure() << "pPrior of table block " << index / 31;
            for (const ZAV_MemCtlEntry& e : b->Entries) {
                if (index >= records_.size())
                    return ::testing::AssertionFailure() << "the table has more than " << blocks() << " blocks";
                const ModelRecord& want = records_[index];
                if (e.Address != want.address || e.Size != want.size || e.ThreadId != want.threadId)
                    return ::testing::AssertionFailure()
                           << "record " << index << ": address " << e.Address << " size " << e.Size << " thread "
                           << e.ThreadId << ", the walk gives " << want.address << " " << want.size << " "
                           << want.threadId;
                if (!TimeTextFits(e))
                    return ::testing::AssertionFailure() << "record " << index << ": time text";
                ++index;
            }
        }
        if (index != records_.size())
            return ::testing::AssertionFailure() << "the table has " << index / 31 << " blocks, the walk " << blocks();
        return ::testing::AssertionSuccess();
    }

private:
    // "HH:MM:SS" and a zero for a live record; a free record is all zero.
    static bool TimeTextFits(const ZAV_MemCtlEntry& e) {
        if (e.Address == nullptr) {
            for (WCHAR c : e.TimeText)
                if (c != 0) return false;
            return true;
        }
        for (int i = 0; i < 8; ++i) {
            const bool colon = i == 2 || i == 5;
            if (colon ? e.TimeText[i] != ':' : (e.TimeText[i] < '0' || e.TimeText[i] > '9')) return false;
        }
        return e.TimeText[8] == 0;
    }

    std::vector<ModelRecord> records_;
    size_t noneFreeBefore_ = 0;
};

struct Scenario {
    enumZAVMemoryAlloc strategy;
    DWORD options;
};

class MonitorDifferential : public MemoryManagerTest, public ::testing::WithParamInterface<Scenario> {
protected:
    void SetUp() override {
        MemoryManagerTest::SetUp();
        ZAV_MonitorMemory = 1;
        ASSERT_EQ(ZAV_MemoryDefine(GetParam().strategy, 0, GetParam().options), 0u);
        ASSERT_NE(g_pZAVMemCtl, nullptr);
    }
    bool PlainRuntimeHeap() const { return GetParam().strategy == ZAVMemAllocCRT && GetParam().options == 0; }
};

// Random gets and returns, with the cases that make the walk's order visible:
// bursts that grow the chain, returns from anywhere, addresses the table does
// not hold, and (on the runtime heap) an address recorded twice because its
// first block was released behind the manager's back.
void RunRandomSteps(LinearTable& model, std::vector<void*>& live, std::mt19937& rng, int steps, bool plainRuntimeHeap) {
    for (int step = 0; step < steps; ++step) {
        const unsigned pick = rng() % 100;
        if (pick < 52 || live.empty()) {
            const DWORD size = 1 + rng() % (pick < 2 ? 5000 : 200);
            void* p = ZAV_MemoryGet(size, 0);
            ASSERT_NE(p, nullptr);
            model.Record(p, size);
            live.push_back(p);
        } else if (pick < 97) {
            const size_t at = rng() % live.size();
            void* p = live[at];
            live.erase(live.begin() + at);
            const bool held = model.Forget(p);
            ASSERT_EQ(ZAV_MemoryFree(p), held ? 0u : ZAV_MEM_NOT_MONITORED);
        } else if (plainRuntimeHeap && pick < 99) {
            void* stranger = malloc(24);
            ASSERT_NE(stranger, nullptr);
            // Unknown, unless a block released behind the manager's back had it.
            const bool held = model.Forget(stranger);
            ASSERT_EQ(ZAV_MemoryFree(stranger), held ? 0u : ZAV_MEM_NOT_MONITORED);
        } else if (plainRuntimeHeap) {
            // The runtime heap hands the same address out again at once.
            const size_t at = rng() % live.size();
            free(live[at]);
            live.erase(live.begin() + at);
        }
        ASSERT_TRUE(model.Matches(g_pZAVMemCtl)) << "after step " << step;
    }
}

TEST_P(MonitorDifferential, RandomStepsMatchTheFirstFitWalk) {
    LinearTable model;
    std::vector<void*> live;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 rng(seed);
        ASSERT_NO_FATAL_FAILURE(RunRandomSteps(model, live, rng, 1500, PlainRuntimeHeap()));
    }
    EXPECT_GE(model.blocks(), 2u);
    // Down to nothing and up again: the emptied chain is reused from its
    // first record, not extended.
    while (!live.empty()) {
        const bool held = model.Forget(live.back());
        ASSERT_EQ(ZAV_MemoryFree(live.back()), held ? 0u : ZAV_MEM_NOT_MONITORED);
        live.pop_back();
    }
    const size_t blocks = model.blocks();
    std::mt19937 rng(99);
    ASSERT_NO_FATAL_FAILURE(RunRandomSteps(model, live, rng, 400, PlainRuntimeHeap()));
    EXPECT_EQ(model.blocks(), blocks);
    for (void* p : live) {
        model.Forget(p);
        ZAV_MemoryFree(p);
    }
    EXPECT_TRUE(model.Matches(g_pZAVMemCtl));
}

// A burst large enough to need many table blocks, returned in an order that
// frees records all over the chain, then refilled.
TEST_P(MonitorDifferential, ThousandsOfBlocksRefillTheHolesInChainOrder) {
    LinearTable model;
    std::vector<void*> live;
    for (int i = 0; i < 3000; ++i) {
        void* p = ZAV_MemoryGet(16, 0);
        ASSERT_NE(p, nullptr);
        model.Record(p, 16);
        live.push_back(p);
    }
    ASSERT_TRUE(model.Matches(g_pZAVMemCtl));
    std::mt19937 rng(5);
    std::shuffle(live.begin(), live.end(), rng);
    for (size_t i = 0; i < live.size() / 2; ++i) {
        model.Forget(live[i]);
        ASSERT_EQ(ZAV_MemoryFree(live[i]), 0u);
    }
    live.erase(live.begin(), live.begin() + live.size() / 2);
    ASSERT_TRUE(model.Matches(g_pZAVMemCtl));
    for (int i = 0; i < 1600; ++i) {
        void* p = ZAV_MemoryGet(32, 0);
        model.Record(p, 32);
        live.push_back(p);
        if (i % 97 == 0) {
            ASSERT_TRUE(model.Matches(g_pZAVMemCtl)) << "after refill " << i;
        }
    }
    ASSERT_TRUE(model.Matches(g_pZAVMemCtl));
    for (void* p : live) ASSERT_EQ(ZAV_MemoryFree(p), 0u);
}

// Past a thousand table blocks the index changes its own layout; holes made
// on both sides of that point are refilled from the first.
TEST_P(MonitorDifferential, ALongChainRefillsItsFirstHoleFirst) {
    LinearTable model;
    std::vector<void*> live;
    for (int i = 0; i < 32500; ++i) {  // past 1024 table blocks
        void* p = ZAV_MemoryGet(8, 0);
        ASSERT_NE(p, nullptr);
        model.Record(p, 8);
        live.push_back(p);
    }
    ASSERT_TRUE(model.Matches(g_pZAVMemCtl));
    for (size_t at : {32490u, 32000u, 31800u, 700u, 31u}) {
        model.Forget(live[at]);
        ASSERT_EQ(ZAV_MemoryFree(live[at]), 0u);
        live[at] = nullptr;
    }
    for (DWORD size = 1; size <= 6; ++size) {
        void* p = ZAV_MemoryGet(size, 0);
        model.Record(p, size);
        live.push_back(p);
        ASSERT_TRUE(model.Matches(g_pZAVMemCtl)) << "refill " << size;
    }
    for (void* p : live) {
        if (p != nullptr) {
            ASSERT_EQ(ZAV_MemoryFree(p), 0u);
        }
    }
}

// A table given up by a redefinition is not the one that is kept: blocks
// recorded in it are unknown to the fresh table. The private heap, once
// chosen, keeps its table.
TEST_P(MonitorDifferential, ARedefinitionStartsTheWalkAfreshExceptOnThePrivateHeap) {
    void* before = ZAV_MemoryGet(10, 0);
    ZAV_MemCtlBlock* old = g_pZAVMemCtl;
    ASSERT_EQ(ZAV_MemoryDefine(GetParam().strategy, 0, GetParam().options), 0u);
    if (GetParam().strategy == ZAVMemAllocPrivateHeap) {
        EXPECT_EQ(g_pZAVMemCtl, old);
        EXPECT_EQ(ZAV_MemoryFree(before), 0u);
        return;
    }
    ASSERT_NE(g_pZAVMemCtl, old);
    LinearTable model;
    void* after = ZAV_MemoryGet(20, 0);
    model.Record(after, 20);
    EXPECT_TRUE(model.Matches(g_pZAVMemCtl));
    EXPECT_EQ(ZAV_MemoryFree(before), ZAV_MEM_NOT_MONITORED);
    EXPECT_EQ(ZAV_MemoryFree(after), 0u);
    free(old);
}

// A fresh table owes nothing to the one before it: which of the old
// table's blocks had a free record must not send a record of the new one
// into the old chain.
TEST_P(MonitorDifferential, AFreshTableForgetsWhereTheOldOneHadRoom) {
    if (GetParam().strategy == ZAVMemAllocPrivateHeap) return;  // a redefinition keeps its table
    std::vector<void*> old;
    for (int i = 0; i < 4 * ZAV_MEMCTL_ENTRIES; ++i) old.push_back(ZAV_MemoryGet(16, 0));
    // Room in the old table's third and fourth blocks only.
    ASSERT_EQ(ZAV_MemoryFree(old[2 * ZAV_MEMCTL_ENTRIES + 5]), 0u);
    ASSERT_EQ(ZAV_MemoryFree(old[3 * ZAV_MEMCTL_ENTRIES + 5]), 0u);
    old[2 * ZAV_MEMCTL_ENTRIES + 5] = old[3 * ZAV_MEMCTL_ENTRIES + 5] = nullptr;
    ZAV_MemCtlBlock* oldTable = g_pZAVMemCtl;
    ASSERT_EQ(ZAV_MemoryDefine(GetParam().strategy, 0, GetParam().options), 0u);

    LinearTable model;
    std::vector<void*> fresh;
    for (int i = 0; i < ZAV_MEMCTL_ENTRIES + 1; ++i) {
        fresh.push_back(ZAV_MemoryGet(16, 0));
        model.Record(fresh.back(), 16);
        ASSERT_TRUE(model.Matches(g_pZAVMemCtl)) << "after get " << i;
    }
    for (void* p : fresh) EXPECT_EQ(ZAV_MemoryFree(p), 0u);
    for (void* p : old) {
        if (p != nullptr) {
            EXPECT_EQ(ZAV_MemoryFree(p), ZAV_MEM_NOT_MONITORED);
        }
    }
    while (oldTable != nullptr) {
        ZAV_MemCtlBlock* next = oldTable->pNext;
        free(oldTable);
        oldTable = next;
    }
}

std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& info) {
    return std::string(info.param.strategy == ZAVMemAllocCRT ? "RuntimeHeap" : "PrivateHeap") +
           ((info.param.options & ZAVMemOptGuard) != 0 ? "Guarded" : "");
}

INSTANTIATE_TEST_SUITE_P(Strategies, MonitorDifferential,
                         ::testing::Values(Scenario{ZAVMemAllocCRT, 0}, Scenario{ZAVMemAllocCRT, ZAVMemOptGuard},
                                           Scenario{ZAVMemAllocPrivateHeap, 0},
                                           Scenario{ZAVMemAllocPrivateHeap, ZAVMemOptGuard}),
                         ScenarioName);

// Threads on one private heap hand addresses to each other all the time: a
// block returned on one thread is at once obtained on another. At each pause
// every live block is recorded exactly once, with its own thread and size,
// and nothing else is; the table then goes on as the walk from that state.
class ConcurrentMonitor : public MonitorDifferential {};

// The window between a return and its record's clearing is narrow: many
// rounds catch it in most runs of a plain build. The thread sanitizer sees
// the unordered writes to one record at once, so a few rounds do there.
#if defined(__SANITIZE_THREAD__)
constexpr int kRounds = 2;
#else
constexpr int kRounds = 12;
#endif

TEST_P(ConcurrentMonitor, ThreadsNeverShareOrStrandARecord) {
    constexpr int kThreads = 4;
    struct Held {
        DWORD threadId;
        DWORD size;
    };
    std::vector<std::vector<std::pair<void*, DWORD>>> owned(kThreads);
    std::vector<DWORD> threadIds(kThreads);
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                threadIds[t] = GetCurrentThreadId();
                std::mt19937 rng(round * 31 + t);
                auto& mine = owned[t];
                for (int i = 0; i < 30000; ++i) {
                    if (mine.size() < 3 && rng() % 2 == 0) {
                        const DWORD size = 8 + rng() % 2 * 8;  // two sizes: addresses come back often
                        void* p = ZAV_MemoryGet(size, 0);
                        ASSERT_NE(p, nullptr);
                        mine.emplace_back(p, size);
                    } else if (!mine.empty()) {
                        const size_t at = rng() % mine.size();
                        ASSERT_EQ(ZAV_MemoryFree(mine[at].first), 0u);
                        mine.erase(mine.begin() + at);
                    }
                }
            });
        for (auto& t : threads) t.join();
        if (HasFatalFailure()) return;

        std::map<void*, Held> expected;
        for (int t = 0; t < kThreads; ++t)
            for (auto& [p, size] : owned[t]) expected[p] = {threadIds[t], size};
        for (const ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext)
            for (const ZAV_MemCtlEntry& e : b->Entries) {
                if (e.Address == nullptr) continue;
                auto it = expected.find(e.Address);
                ASSERT_NE(it, expected.end()) << "a record outlived its block: " << e.Address;
                EXPECT_EQ(e.ThreadId, it->second.threadId);
                EXPECT_EQ(e.Size, it->second.size);
                expected.erase(it);
            }
        EXPECT_TRUE(expected.empty()) << expected.size() << " live blocks are not recorded";

        // The index behind the table agrees with the table it left.
        LinearTable model;
        model.Adopt(g_pZAVMemCtl);
        std::vector<void*> live;
        std::mt19937 rng(round);
        ASSERT_NO_FATAL_FAILURE(RunRandomSteps(model, live, rng, 300, false));
        for (void* p : live) {
            model.Forget(p);
            ASSERT_EQ(ZAV_MemoryFree(p), 0u);
        }
        ASSERT_TRUE(model.Matches(g_pZAVMemCtl));
    }
    for (auto& mine : owned)
        for (auto& held : mine) EXPECT_EQ(ZAV_MemoryFree(held.first), 0u);
    for (const ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext)
        for (const ZAV_MemCtlEntry& e : b->Entries) EXPECT_EQ(e.Address, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Strategies, ConcurrentMonitor,
                         ::testing::Values(Scenario{ZAVMemAllocPrivateHeap, 0},
                                           Scenario{ZAVMemAllocCRT, ZAVMemOptGuard}),
                         ScenarioName);

}  // namespace
