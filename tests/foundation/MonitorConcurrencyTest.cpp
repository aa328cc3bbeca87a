// The monitoring table under threads that hand blocks to each other, a pool
// released while others return blocks, fork while the table is busy, and a
// real-time thread sharing a CPU with an ordinary one.
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "MemoryFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Held {
    void* address;
    DWORD size;
    DWORD threadId;
};

struct Strategy {
    const char* name;
    enumZAVMemoryAlloc strategy;
    ZAVUInt64 (*heapBytes)(void* block);  // what the block adds to ZAV_PoolMemBusy
};

const Strategy kStrategies[] = {
    {"RuntimeHeap", ZAVMemAllocCRT, [](void* p) -> ZAVUInt64 { return _msize(p); }},
    {"PrivateHeap", ZAVMemAllocPrivateHeap, [](void* p) -> ZAVUInt64 { return HeapSize(hZAVHeap, 0, p); }},
};

#if defined(__SANITIZE_THREAD__)
constexpr int kRounds = 4, kStepsPerRound = 3000;
#else
constexpr int kRounds = 12, kStepsPerRound = 20000;
#endif

// Every held block has exactly one record, with its size and the thread
// that obtained it, no other record exists, and the count is their sum.
void ExpectTableHolds(const std::vector<Held>& held, const Strategy& s) {
    std::map<void*, Held> expected;
    ZAVUInt64 bytes = 0;
    for (const Held& h : held) {
        expected[h.address] = h;
        bytes += s.heapBytes(h.address);
    }
    for (const ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext)
        for (const ZAV_MemCtlEntry& e : b->Entries) {
            if (e.Address == nullptr) continue;
            auto it = expected.find(e.Address);
            ASSERT_NE(it, expected.end()) << "a record without a live block, or a second one: " << e.Address;
            EXPECT_EQ(e.Size, it->second.size);
            EXPECT_EQ(e.ThreadId, it->second.threadId);
            expected.erase(it);
        }
    EXPECT_TRUE(expected.empty()) << expected.size() << " live blocks have no record";
    EXPECT_EQ(ZAV_PoolMemBusy, bytes);
}

// Threads put blocks into one shared heap of held blocks and return blocks
// from it, mostly other threads' ones, so a return on one thread races an
// obtain of the same address on another.
TEST_F(MemoryManagerTest, ThreadsReturningEachOthersBlocksKeepOneRecordPerBlock) {
    for (const Strategy& s : kStrategies) {
        SCOPED_TRACE(s.name);
        Reset();
        ZAV_MonitorMemory = 1;
        ASSERT_EQ(ZAV_MemoryDefine(s.strategy, 0, 0), 0u);
        std::mutex heldLock;
        std::vector<Held> held;
        for (int round = 0; round < kRounds && !HasFailure(); ++round) {
            std::vector<std::thread> threads;
            for (int t = 0; t < 4; ++t)
                threads.emplace_back([&, t] {
                    std::mt19937 rng(round * 7 + t);
                    const DWORD self = GetCurrentThreadId();
                    for (int i = 0; i < kStepsPerRound; ++i) {
                        if (rng() % 2 == 0) {
                            const DWORD size = 8 + rng() % 3 * 24;  // few sizes: addresses come back often
                            void* p = ZAV_MemoryGet(size, 0);
                            ASSERT_NE(p, nullptr);
                            std::lock_guard<std::mutex> hold(heldLock);
                            held.push_back({p, size, self});
                        } else {
                            void* p;
                            {
                                std::lock_guard<std::mutex> hold(heldLock);
                                if (held.empty()) continue;
                                const size_t at = rng() % held.size();
                                p = held[at].address;
                                held[at] = held.back();
                                held.pop_back();
                            }
                            ASSERT_EQ(ZAV_MemoryFree(p), 0u);
                        }
                    }
                });
            for (auto& t : threads) t.join();
            ExpectTableHolds(held, s);
        }
        for (const Held& h : held) EXPECT_EQ(ZAV_MemoryFree(h.address), 0u);
        ExpectTableHolds({}, s);
    }
}

// Releasing the pool while another thread returns blocks: the return must
// not walk the table being released.
TEST_F(MemoryManagerTest, ReleasingThePoolWhileBlocksAreReturned) {
    ZAV_MonitorMemory = 1;
    ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0), 0u);
    std::atomic<bool> stop{false};
    std::thread returner([&] {
        while (!stop.load()) {
            void* blocks[64];
            for (void*& p : blocks) p = ZAV_MemoryGet(32, 0);
            for (void* p : blocks) {
                const DWORD result = ZAV_MemoryFree(p);
                EXPECT_TRUE(result == 0 || result == ZAV_MEM_NOT_MONITORED) << result;
            }
        }
    });
    for (int i = 0; i < 300; ++i) {
        ZAV_MemoryPoolFree();
        ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    stop = true;
    returner.join();
}

#ifndef _WIN32

// Waits for a child at most a few seconds; one that hangs is killed.
int ChildStatus(pid_t child) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Forks while another thread is in and out of the table all the time. The
// child must find the table free, and record under its own thread id.
TEST_F(MemoryManagerTest, AChildOfForkFindsTheTableFreeAndRecordsUnderItsOwnId) {
    ZAV_MonitorMemory = 1;
    ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0), 0u);
    ZAV_MemoryFree(ZAV_MemoryGet(8, 0));  // this thread's id asked for before the fork
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        while (!stop.load()) ZAV_MemoryFree(ZAV_MemoryGet(16, 0));
    });
    for (int i = 0; i < 40 && !HasFailure(); ++i) {
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            void* p = ZAV_MemoryGet(24, 0);
            DWORD recordedBy = 0;
            for (const ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext)
                for (const ZAV_MemCtlEntry& e : b->Entries)
                    if (e.Address == p) recordedBy = e.ThreadId;
            const bool ownId = recordedBy == static_cast<DWORD>(getpid()) && GetCurrentThreadId() == recordedBy;
            _exit(ownId && ZAV_MemoryFree(p) == 0 ? 0 : 1);
        }
        EXPECT_EQ(ChildStatus(child), 0) << "-1: the child hung or died; 1: a wrong thread id";
    }
    stop = true;
    busy.join();
}

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
    std::atomic<long long> worstMicroseconds{0};
    std::thread ordinary([&] {
        pthread_setaffinity_np(pthread_self(), sizeof one, &one);
        while (!stop.load(std::memory_order_relaxed)) ZAV_MemoryFree(ZAV_MemoryGet(48, 0));
    });
    std::thread realTime([&] {
        sched_param priority{};
        priority.sched_priority = 1;
        if (pthread_setaffinity_np(pthread_self(), sizeof one, &one) != 0 ||
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) != 0) {
            refused = true;
            return;
        }
        for (int i = 0; i < 300 && worstMicroseconds.load() < 50000; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));  // the ordinary thread runs meanwhile
            const auto start = Clock::now();
            ZAV_MemoryFree(ZAV_MemoryGet(48, 0));
            const long long took =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
            if (took > worstMicroseconds.load()) worstMicroseconds = took;
        }
    });
    realTime.join();
    stop = true;
    ordinary.join();
    if (refused.load()) GTEST_SKIP() << "this machine refuses SCHED_FIFO";
    EXPECT_LT(worstMicroseconds.load(), 50000);
    RecordProperty("worst_microseconds", static_cast<int>(worstMicroseconds.load()));
}

#endif  // !_WIN32

}  // namespace
