// The monitoring table against a model of the plain first-fit walk, compared
// whole after every step so that a record taken or cleared out of order
// shows at once; then under threads that hand blocks to each other, a pool
// released while blocks are returned, fork, and a real-time thread.
#ifndef _WIN32
#include <pthread.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "MemoryFixture.h"

namespace {

using Entry = std::tuple<void*, DWORD, DWORD>;  // address, size and thread; all 0 when free

// The table's records in chain order. Each block links back to the one
// before; a live record's time text is "HH:MM:SS", a free record all zero.
std::vector<Entry> Records(const ZAV_MemCtlBlock* b) {
    static const ZAV_MemCtlEntry free{};
    std::vector<Entry> records;
    for (const ZAV_MemCtlBlock* prior = nullptr; b != nullptr; prior = b, b = b->pNext) {
        EXPECT_EQ(b->pPrior, prior);
        for (const ZAV_MemCtlEntry& e : b->Entries) {
            EXPECT_TRUE(e.Address ? e.TimeText[2] == ':' && e.TimeText[8] == 0 : memcmp(&e, &free, sizeof e) == 0);
            records.emplace_back(e.Address, e.Size, e.ThreadId);
        }
    }
    return records;
}

// The plain first-fit walk: every block takes the first free record from the
// first table block on, a return clears the first record that holds its
// address, and a full table grows by one block linked behind the last. A
// get answers where it was recorded, from which on a burst goes on looking.
size_t Take(std::vector<Entry>& model, void* address, DWORD size, size_t noneFreeBefore = 0) {
    auto it = std::find(model.begin() + noneFreeBefore, model.end(), Entry{});
    if (it == model.end()) it = model.insert(it, ZAV_MEMCTL_ENTRIES, Entry{});
    *it = {address, size, GetCurrentThreadId()};
    return it - model.begin();
}

bool Forget(std::vector<Entry>& model, void* address) {
    auto it = std::find_if(model.begin(), model.end(), [&](auto& r) { return std::get<0>(r) == address; });
    if (it == model.end()) return false;
    *it = {};
    return true;
}

// Random gets and returns, with the cases that make the walk's order visible:
// bursts that grow the chain, returns from anywhere, addresses the table does
// not hold, and (on the plain runtime heap) an address recorded twice because
// its first block was released behind the manager's back. Each block comes
// filled as the options say: zeroed, or EA in the caller's bytes when guarded.
void RunRandomSteps(std::vector<Entry>& model, std::vector<void*>& live, std::mt19937& rng, int steps, bool plain) {
    const int fill = (ZAVMemOptions & ZAVMemOptZeroFill) ? 0 : (ZAVMemOptions & ZAVMemOptGuard) ? 0xEA : -1;
    for (int step = 0; step < steps; ++step) {
        const unsigned pick = rng() % 100;
        if (pick < 52 || live.empty()) {
            const DWORD size = 1 + rng() % (pick < 2 ? 5000 : 200);
            auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(size, 0));
            ASSERT_TRUE(fill < 0 || std::count(p, p + size, fill) == static_cast<ptrdiff_t>(size)) << "fill of " << size << " bytes";
            live.push_back(p);
            Take(model, p, size);
        } else if (pick < 97 || plain) {
            const size_t at = rng() % live.size();
            void* p = pick < 97 || pick == 99 ? live[at] : malloc(24);  // 97, 98: a stranger
            if (pick == 99) free(p);  // the runtime heap hands the address out again at once
            else ASSERT_EQ(ZAV_MemoryFree(p), Forget(model, p) ? 0u : ZAV_MEM_NOT_MONITORED);
            if (p == live[at]) live.erase(live.begin() + at);
        }
        ASSERT_TRUE(Records(g_pZAVMemCtl) == model) << "after step " << step;
    }
}

using Scenario = std::pair<enumZAVMemoryAlloc, DWORD>;  // strategy and options; the first is the plain runtime heap
const Scenario kScenarios[] = {{ZAVMemAllocCRT, 0}, {ZAVMemAllocCRT, ZAVMemOptGuard}, {ZAVMemAllocPrivateHeap, 0},
                               {ZAVMemAllocPrivateHeap, ZAVMemOptGuard}, {ZAVMemAllocNew, ZAVMemOptGuard | ZAVMemOptZeroFill}};

class Monitor : public MemoryManagerTest, public ::testing::WithParamInterface<Scenario> {
protected:
    void SetUp() override {
        MemoryManagerTest::SetUp();
        ZAV_MonitorMemory = 1;
        ASSERT_EQ(ZAV_MemoryDefine(GetParam().first, 0, GetParam().second), 0u);
    }
};
INSTANTIATE_TEST_SUITE_P(Strategies, Monitor, ::testing::ValuesIn(kScenarios));

// Random steps; then a redefinition with those blocks still live starts a
// fresh table that owes nothing to the old one: the old blocks are unknown
// there, and where the old table had room must not send a record into the
// old chain (the private heap, once chosen, keeps its table). Then a burst
// past a thousand table blocks, where the index changes its own layout;
// holes all over the chain, on both sides of that point, are refilled first
// to last before the chain grows.
TEST_P(Monitor, RandomStepsARedefinitionAndALongChainMatchTheFirstFitWalk) {
    std::vector<Entry> model;
    std::vector<void*> live, holes;
    std::mt19937 rng(1);
    ASSERT_NO_FATAL_FAILURE(RunRandomSteps(model, live, rng, 4500, GetParam() == kScenarios[0]));
    ZAV_MemCtlBlock* oldTable = g_pZAVMemCtl;
    ASSERT_EQ(ZAV_MemoryDefine(GetParam().first, 0, GetParam().second), 0u);
    const bool kept = GetParam().first == ZAVMemAllocPrivateHeap;
    ASSERT_EQ(g_pZAVMemCtl == oldTable, kept);
    if (!kept) model.clear();
    for (size_t i = 0, at = 0; i < 32500; ++i) {
        auto& into = (i % 3 == 1 && i < 3000) || (i > 31000 && i % 300 == 0) ? holes : live;
        into.push_back(ZAV_MemoryGet(8, 0));
        at = Take(model, into.back(), 8, at);
    }
    std::shuffle(holes.begin(), holes.end(), std::mt19937(5));
    for (void* p : holes) ASSERT_EQ(ZAV_MemoryFree(p), Forget(model, p) ? 0u : ZAV_MEM_NOT_MONITORED);
    ASSERT_NO_FATAL_FAILURE(RunRandomSteps(model, live, rng, 200, false));
    for (void* p : live) ZAV_MemoryFree(p);
    for (ZAV_MemCtlBlock* next; !kept && oldTable != nullptr; oldTable = next) {  // let go of by the manager
        next = oldTable->pNext;
        free(oldTable);
    }
}

// A return on one thread races an obtain of the same address on another, and
// a record cleared after its block is released would clear the new owner's.
// The thread sanitizer sees unordered writes to one record at once: a few
// rounds do there.
#if defined(__SANITIZE_THREAD__)
constexpr int kRounds = 3, kSteps = 3000;
#else
constexpr int kRounds = 12, kSteps = 30000;
#endif

using Held = std::map<void*, std::pair<DWORD, DWORD>>;  // blocks with their size and thread

// The table's records by address; an address recorded twice fails.
Held Recorded() {
    Held recorded;
    for (auto [address, size, thread] : Records(g_pZAVMemCtl))
        EXPECT_TRUE(address == nullptr || recorded.emplace(address, std::make_pair(size, thread)).second);
    return recorded;
}

// Threads obtain and return blocks of two sizes, a few at a time, so that
// an address one returns comes back to another at once. At each pause every
// held block has exactly one record, with its size and the thread that
// obtained it; at the end nothing is recorded or counted.
TEST_P(Monitor, ThreadsNeverShareOrStrandARecord) {
    Held held[4];  // each thread's
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        OnThreads(4, [&](int t) {
            std::mt19937 rng(round * 31 + t);
            for (int i = 0; i < kSteps; ++i) {
                if (held[t].size() < 3 && rng() % 2 == 0) {
                    const DWORD size = 8 + rng() % 2 * 8;
                    held[t].emplace(ZAV_MemoryGet(size, 0), std::make_pair(size, GetCurrentThreadId()));
                } else if (!held[t].empty()) {
                    auto it = std::next(held[t].begin(), rng() % held[t].size());
                    ASSERT_EQ(ZAV_MemoryFree(it->first), 0u);
                    held[t].erase(it);
                }
            }
        });
        Held all;
        for (auto& mine : held) all.insert(mine.begin(), mine.end());
        EXPECT_EQ(Recorded(), all);
    }
    for (auto& mine : held)
        for (auto& block : mine) EXPECT_EQ(ZAV_MemoryFree(block.first), 0u);
    EXPECT_TRUE(Recorded().empty());
    EXPECT_EQ(ZAV_PoolMemBusy, 0u);
}

// Another thread is in and out of the table all the time while the pool is
// released and defined again (a return must not walk a table being
// released), and while the process forks: the child must find the table
// free (or it hangs, and is killed) and record under its own thread id.
TEST_F(MemoryManagerTest, ReleasesAndForksWhileAnotherThreadUsesTheTable) {
    ZAV_MonitorMemory = 1;
    ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0), 0u);
    ZAV_MemoryFree(ZAV_MemoryGet(8, 0));  // this thread's id asked for before a fork
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        for (void* blocks[16]; !stop.load();) {
            for (void*& p : blocks) p = ZAV_MemoryGet(32, 0);
            for (void* p : blocks) {
                const DWORD result = ZAV_MemoryFree(p);
                EXPECT_TRUE(result == 0 || result == ZAV_MEM_NOT_MONITORED) << result;
            }
        }
    });
    for (int i = 0; i < 320 && !HasFailure(); ++i) {
        ZAV_MemoryPoolFree();
        ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
#ifndef _WIN32
        const pid_t child = i % 8 == 0 ? fork() : 1;
        if (child == 0) {
            alarm(5);  // a child that hangs is killed
            void* p = ZAV_MemoryGet(24, 0);
            const DWORD by = Recorded()[p].second;
            _exit(by == static_cast<DWORD>(getpid()) && by == GetCurrentThreadId() && ZAV_MemoryFree(p) == 0 ? 0 : 1);
        }
        int status = 0;
        if (child != 1) waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child hung, or 1: a wrong thread id";
#endif
    }
    stop = true;
    busy.join();
}

#ifndef _WIN32
// A real-time thread and an ordinary one on one CPU: whenever the ordinary
// one is preempted inside the table, the real-time one must sleep until it
// is out rather than spin, which on that CPU would hold it off for good.
TEST_F(MemoryManagerTest, ARealTimeThreadNeverWaitsLongForTheTable) {
    ZAV_MonitorMemory = 1;
    ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0), 0u);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    std::atomic<bool> stop{false};
    bool refused = false;
    std::chrono::steady_clock::duration worst{};
    std::thread ordinary([&] {
        pthread_setaffinity_np(pthread_self(), sizeof one, &one);
        while (!stop.load(std::memory_order_relaxed)) ZAV_MemoryFree(ZAV_MemoryGet(48, 0));
    });
    std::thread realTime([&] {
        const sched_param priority{1};
        refused = pthread_setaffinity_np(pthread_self(), sizeof one, &one) != 0 ||
                  pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) != 0;
        for (int i = 0; i < 300 && !refused && worst < std::chrono::milliseconds(50); ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));  // the ordinary thread runs meanwhile
            const auto start = std::chrono::steady_clock::now();
            ZAV_MemoryFree(ZAV_MemoryGet(48, 0));
            worst = std::max(worst, std::chrono::steady_clock::now() - start);
        }
    });
    realTime.join();
    stop = true;
    ordinary.join();
    if (refused) GTEST_SKIP() << "this machine refuses SCHED_FIFO";
    EXPECT_LT(worst / std::chrono::microseconds(1), 50000);
}
#endif

}  // namespace
