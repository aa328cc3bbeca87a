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

// Every block takes the first free record from the first table block on, a
// return clears the first record that holds its address, and a full table
// grows by one block linked behind the last.
class LinearTable {
public:
    size_t blocks() const { return records_.size() / ZAV_MEMCTL_ENTRIES; }

    void Record(void* address, DWORD size) {
        size_t i = noneFreeBefore_;  // every record before it is taken
        while (i < records_.size() && records_[i].Address != nullptr) ++i;
        if (i == records_.size()) records_.resize(i + ZAV_MEMCTL_ENTRIES);
        records_[i] = {GetCurrentThreadId(), address, size, {}};
        noneFreeBefore_ = i + 1;
    }

    bool Forget(void* address) {
        auto it = std::find_if(records_.begin(), records_.end(), [&](auto& e) { return e.Address == address; });
        if (it == records_.end()) return false;
        *it = {};
        noneFreeBefore_ = std::min<size_t>(noneFreeBefore_, it - records_.begin());
        return true;
    }

    // Takes the table as it stands, for checks that start after threads ran.
    void Adopt(const ZAV_MemCtlBlock* b) {
        *this = LinearTable();
        for (; b != nullptr; b = b->pNext) records_.insert(records_.end(), std::begin(b->Entries), std::end(b->Entries));
    }

    ::testing::AssertionResult Matches(const ZAV_MemCtlBlock* first) const {
        static const ZAV_MemCtlEntry free{};
        size_t index = 0;
        for (const ZAV_MemCtlBlock *b = first, *prior = nullptr; b != nullptr; prior = b, b = b->pNext) {
            if (b->pPrior != prior || index == records_.size())
                return ::testing::AssertionFailure() << "table block " << blocks() << ": pPrior, or one too many";
            for (const ZAV_MemCtlEntry& e : b->Entries) {
                const ZAV_MemCtlEntry& want = records_[index++];
                // A live record's time text is "HH:MM:SS"; a free record is all zero.
                const bool rest = want.Address != nullptr ? e.TimeText[2] == ':' && e.TimeText[8] == 0
                                                          : memcmp(&e, &free, sizeof e) == 0;
                if (e.Address != want.Address || e.Size != want.Size || e.ThreadId != want.ThreadId || !rest)
                    return ::testing::AssertionFailure() << "record " << index - 1 << " holds " << e.Address << " of "
                                                         << e.Size << ", the walk's " << want.Address << " of " << want.Size;
            }
        }
        if (index == records_.size()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the table has " << index / 31 << " blocks, the walk " << blocks();
    }

private:
    std::vector<ZAV_MemCtlEntry> records_;
    size_t noneFreeBefore_ = 0;
};

// Random gets and returns, with the cases that make the walk's order visible:
// bursts that grow the chain, returns from anywhere, addresses the table does
// not hold, and (on the plain runtime heap) an address recorded twice because
// its first block was released behind the manager's back. Each block comes
// filled as the options say: zeroed, or EA in the caller's bytes when guarded.
void RunRandomSteps(LinearTable& model, std::vector<void*>& live, std::mt19937& rng, int steps, bool plain) {
    const int fill = (ZAVMemOptions & ZAVMemOptZeroFill) ? 0 : (ZAVMemOptions & ZAVMemOptGuard) ? 0xEA : -1;
    for (int step = 0; step < steps; ++step) {
        const unsigned pick = rng() % 100;
        if (pick < 52 || live.empty()) {
            const DWORD size = 1 + rng() % (pick < 2 ? 5000 : 200);
            auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(size, 0));
            ASSERT_TRUE(fill < 0 || std::count(p, p + size, fill) == size) << "fill of " << size << " bytes";
            live.push_back(p);
            model.Record(p, size);
        } else if (pick < 97 || plain) {
            const size_t at = rng() % live.size();
            void* p = pick < 97 || pick == 99 ? live[at] : malloc(24);  // 97, 98: a stranger
            if (pick == 99) free(p);  // the runtime heap hands the address out again at once
            else ASSERT_EQ(ZAV_MemoryFree(p), model.Forget(p) ? 0u : ZAV_MEM_NOT_MONITORED);
            if (p == live[at]) live.erase(live.begin() + at);
        }
        ASSERT_TRUE(model.Matches(g_pZAVMemCtl)) << "after step " << step;
    }
}

void FreeAll(LinearTable& model, std::vector<void*>& live) {
    for (void* p : live) ASSERT_EQ(ZAV_MemoryFree(p), model.Forget(p) ? 0u : ZAV_MEM_NOT_MONITORED);
    live.clear();
}

using Scenario = std::pair<enumZAVMemoryAlloc, DWORD>;  // strategy and options
const Scenario kScenarios[] = {{ZAVMemAllocCRT, 0}, {ZAVMemAllocCRT, ZAVMemOptGuard}, {ZAVMemAllocPrivateHeap, 0},
                               {ZAVMemAllocPrivateHeap, ZAVMemOptGuard}, {ZAVMemAllocNew, ZAVMemOptGuard | ZAVMemOptZeroFill}};

class Monitor : public MemoryManagerTest, public ::testing::WithParamInterface<Scenario> {
protected:
    void SetUp() override {
        MemoryManagerTest::SetUp();
        ZAV_MonitorMemory = 1;
        ASSERT_EQ(ZAV_MemoryDefine(GetParam().first, 0, GetParam().second), 0u);
    }
    bool Plain() const { return GetParam() == Scenario{ZAVMemAllocCRT, 0}; }
    ZAVUInt64 HeapBytes(void* p) const {  // what a block adds to ZAV_PoolMemBusy
        if (GetParam().second & ZAVMemOptGuard) p = static_cast<char*>(p) - 16;
        if (GetParam().first == ZAVMemAllocNew) return 0;  // never counted
        return GetParam().first == ZAVMemAllocCRT ? _msize(p) : HeapSize(hZAVHeap, 0, p);
    }
};
INSTANTIATE_TEST_SUITE_P(Strategies, Monitor, ::testing::ValuesIn(kScenarios));

// Then a burst past a thousand table blocks, where the index changes its own
// layout; holes all over the chain, on both sides of that point, are
// refilled first to last before the chain grows.
TEST_P(Monitor, RandomStepsAndALongChainMatchTheFirstFitWalk) {
    LinearTable model;
    std::vector<void*> live;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 rng(seed);
        ASSERT_NO_FATAL_FAILURE(RunRandomSteps(model, live, rng, 1500, Plain()));
    }
    ASSERT_NO_FATAL_FAILURE(FreeAll(model, live));
    const size_t blocks = model.blocks();
    EXPECT_GE(blocks, 2u);
    std::vector<void*> holes;
    for (size_t i = 0; i < 32500; ++i) {
        auto& into = (i % 3 == 1 && i < 3000) || (i > 31000 && i % 300 == 0) ? holes : live;
        into.push_back(ZAV_MemoryGet(8, 0));
        model.Record(into.back(), 8);
    }
    std::shuffle(holes.begin(), holes.end(), std::mt19937(5));
    ASSERT_NO_FATAL_FAILURE(FreeAll(model, holes));
    std::mt19937 rng(99);
    ASSERT_NO_FATAL_FAILURE(RunRandomSteps(model, live, rng, 200, false));
    for (void* p : live) ASSERT_EQ(ZAV_MemoryFree(p), 0u);
}

// A redefinition starts a fresh table that owes nothing to the old one: its
// blocks are unknown there, and where the old table had room must not send
// a record into the old chain. The private heap, once chosen, keeps its table.
TEST_P(Monitor, ARedefinitionStartsAFreshTableExceptOnThePrivateHeap) {
    std::vector<void*> old;
    for (int i = 0; i < 4 * ZAV_MEMCTL_ENTRIES; ++i) old.push_back(ZAV_MemoryGet(16, 0));
    for (int at : {2 * ZAV_MEMCTL_ENTRIES + 5, 3 * ZAV_MEMCTL_ENTRIES + 5}) {  // room in the last two blocks only
        ASSERT_EQ(ZAV_MemoryFree(old[at]), 0u);
        old.erase(old.begin() + at);
    }
    ZAV_MemCtlBlock* oldTable = g_pZAVMemCtl;
    ASSERT_EQ(ZAV_MemoryDefine(GetParam().first, 0, GetParam().second), 0u);
    const bool kept = GetParam().first == ZAVMemAllocPrivateHeap;
    ASSERT_EQ(g_pZAVMemCtl == oldTable, kept);
    LinearTable model;
    if (kept) model.Adopt(oldTable);
    std::vector<void*> fresh;
    for (int i = 0; i < ZAV_MEMCTL_ENTRIES + 1; ++i) {
        fresh.push_back(ZAV_MemoryGet(16, 0));
        model.Record(fresh.back(), 16);
        ASSERT_TRUE(model.Matches(g_pZAVMemCtl)) << "after get " << i;
    }
    ASSERT_NO_FATAL_FAILURE(FreeAll(model, fresh));
    ASSERT_NO_FATAL_FAILURE(FreeAll(model, old));
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

// Each record's address, with its size and thread; an address recorded twice fails.
std::map<void*, std::pair<DWORD, DWORD>> Recorded() {
    std::map<void*, std::pair<DWORD, DWORD>> recorded;
    for (const ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext)
        for (const ZAV_MemCtlEntry& e : b->Entries)
            EXPECT_TRUE(e.Address == nullptr || recorded.emplace(e.Address, std::make_pair(e.Size, e.ThreadId)).second);
    return recorded;
}

// Threads obtain and return blocks of two sizes, a few at a time, so that
// an address one returns comes back to another at once. At each pause every
// held block has exactly one record, with its size and the thread that
// obtained it, the count is their sum, and the table then goes on as the
// walk from that state.
TEST_P(Monitor, ThreadsNeverShareOrStrandARecord) {
    std::map<void*, std::pair<DWORD, DWORD>> held[4];  // each thread's blocks, with their size and thread
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
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
        for (auto& t : threads) t.join();
        std::map<void*, std::pair<DWORD, DWORD>> all;
        ZAVUInt64 bytes = 0;
        for (auto& mine : held)
            for (auto& block : mine) bytes += HeapBytes(all.insert(block).first->first);
        EXPECT_EQ(Recorded(), all);
        EXPECT_EQ(ZAV_PoolMemBusy, bytes);
        LinearTable model;  // the index behind the table agrees with the table it left
        model.Adopt(g_pZAVMemCtl);
        std::vector<void*> live;
        std::mt19937 rng(round);
        ASSERT_NO_FATAL_FAILURE(RunRandomSteps(model, live, rng, 300, false));
        ASSERT_NO_FATAL_FAILURE(FreeAll(model, live));
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
    std::atomic<bool> stop{false}, refused{false};
    long long worst = 0;  // microseconds
    std::thread ordinary([&] {
        pthread_setaffinity_np(pthread_self(), sizeof one, &one);
        while (!stop.load(std::memory_order_relaxed)) ZAV_MemoryFree(ZAV_MemoryGet(48, 0));
    });
    std::thread realTime([&] {
        sched_param priority{};
        priority.sched_priority = 1;
        refused = pthread_setaffinity_np(pthread_self(), sizeof one, &one) != 0 ||
                  pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) != 0;
        for (int i = 0; i < 300 && !refused && worst < 50000; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));  // the ordinary thread runs meanwhile
            const auto start = std::chrono::steady_clock::now();
            ZAV_MemoryFree(ZAV_MemoryGet(48, 0));
            worst = std::max<long long>(worst, std::chrono::duration_cast<std::chrono::microseconds>(
                                                   std::chrono::steady_clock::now() - start).count());
        }
    });
    realTime.join();
    stop = true;
    ordinary.join();
    if (refused) GTEST_SKIP() << "this machine refuses SCHED_FIFO";
    EXPECT_LT(worst, 50000);
}
#endif

}  // namespace
