#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

struct Heap {
    HANDLE h = HeapCreate(0, 65536, 0);
    ~Heap() { HeapDestroy(h); }
};

TEST(PrivateHeap, ThreadsShareOneHeap) {
    Heap heap;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&heap, t] {
            std::mt19937 rng(t);
            std::vector<unsigned char*> mine;
            for (int i = 0; i < 20000; ++i) {
                if (mine.size() < 64 && rng() % 2 == 0) {
                    auto* p = static_cast<unsigned char*>(HeapAlloc(heap.h, 0, 16 + rng() % 2000));
                    *p = static_cast<unsigned char>(t);
                    mine.push_back(p);
                } else if (!mine.empty()) {
                    EXPECT_EQ(*mine.back(), t);
                    HeapFree(heap.h, 0, mine.back());
                    mine.pop_back();
                }
            }
            for (auto* p : mine) HeapFree(heap.h, 0, p);
        });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(HeapValidate(heap.h, 0, nullptr));
}

TEST(LastError, IsPerThread) {
    SetLastError(42);
    DWORD other = 1;
    std::thread([&] { other = GetLastError(); SetLastError(7); }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 42u);
    EXPECT_NE(GetCurrentThreadId(), 0u);
}

// The id a thread asked for before fork is not the child's: the child's
// thread is a new one, whose id is the child's process id.
TEST(ThreadId, AChildOfForkHasItsOwn) {
    const DWORD parent = GetCurrentThreadId();
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) _exit(GetCurrentThreadId() == static_cast<DWORD>(getpid()) && GetCurrentThreadId() != parent ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(GetCurrentThreadId(), parent);
}

TEST(CriticalSection, IsRecursiveForItsHolderAndExcludesOthers) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    std::atomic<int> tried{-1};
    std::thread([&] { tried = TryEnterCriticalSection(&cs); }).join();
    EXPECT_EQ(tried.load(), FALSE);
    LeaveCriticalSection(&cs);
    std::thread([&] { tried = TryEnterCriticalSection(&cs); }).join();
    EXPECT_EQ(tried.load(), FALSE) << "still held once";
    LeaveCriticalSection(&cs);
    std::thread([&] {
        tried = TryEnterCriticalSection(&cs);
        if (tried) LeaveCriticalSection(&cs);
    }).join();
    EXPECT_EQ(tried.load(), TRUE);
    DeleteCriticalSection(&cs);
}

struct Event {
    HANDLE h;
    Event(bool manualReset, bool set) : h(CreateEventW(nullptr, manualReset, set, nullptr)) {}
    ~Event() { CloseHandle(h); }
};

TEST(Events, ManualResetStaysSetForEveryWaiterUntilReset) {
    Event event(true, false);
    EXPECT_EQ(WaitForSingleObject(event.h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(event.h, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    std::vector<std::thread> waiters;
    std::atomic<int> through{0};
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] { through += WaitForSingleObject(event.h, 10000) == WAIT_OBJECT_0; });
    SetEvent(event.h);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(through.load(), 3);
    EXPECT_EQ(WaitForSingleObject(event.h, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "still set";
    ResetEvent(event.h);
    EXPECT_EQ(WaitForSingleObject(event.h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// Each set lets exactly one waiter through, whether it was asleep or came
// later; the others time out. (A set on a set event adds nothing, so the
// second waits until the first has gone through.)
TEST(Events, AutoResetLetsOneWaiterThroughPerSet) {
    Event event(false, true);
    EXPECT_EQ(WaitForSingleObject(event.h, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event.h, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "taken by the first wait";
    std::atomic<int> through{0}, timedOut{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            const DWORD result = WaitForSingleObject(event.h, 1500);
            (result == WAIT_OBJECT_0 ? through : timedOut) += 1;
        });
    SetEvent(event.h);
    while (through.load() == 0) std::this_thread::yield();
    SetEvent(event.h);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(through.load(), 2);
    EXPECT_EQ(timedOut.load(), 2);
}

// Every thread asleep on a manual-reset event when it is set goes through,
// even when a reset follows at once, as on Windows.
TEST(Events, SetThenResetReleasesEveryThreadWaitingAtTheSet) {
    constexpr int kWaiters = 4;
    for (int round = 0; round < 20; ++round) {
        Event event(true, false);
        std::atomic<int> through{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < kWaiters; ++i)
            waiters.emplace_back([&] { through += WaitForSingleObject(event.h, 2000) == WAIT_OBJECT_0; });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // all asleep by now
        SetEvent(event.h);
        ResetEvent(event.h);
        for (auto& t : waiters) t.join();
        ASSERT_EQ(through.load(), kWaiters) << "round " << round;
        EXPECT_EQ(WaitForSingleObject(event.h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }
}

// A waiter that closes the event as soon as its wait returns, as Win32 code
// does: SetEvent must be done with the event by then, so no wait, asleep or
// polling, may return while SetEvent is still inside.
TEST(Events, NoWaitReturnsWhileSetEventIsStillInside) {
    struct Seen {
        std::atomic<bool>* returned;
        bool early;
    };
    for (bool manualReset : {false, true})
        for (bool polling : {false, true}) {
            SCOPED_TRACE(std::string(manualReset ? "manual" : "auto") + (polling ? ", polling" : ", asleep"));
            HANDLE event = CreateEventW(nullptr, manualReset, FALSE, nullptr);
            std::atomic<bool> waiting{false}, returned{false};
            std::thread waiter([&] {
                waiting = true;
                if (polling)
                    while (WaitForSingleObject(event, 0) == WAIT_TIMEOUT) {
                    }
                else
                    EXPECT_EQ(WaitForSingleObject(event, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
                returned = true;
                EXPECT_TRUE(CloseHandle(event));
            });
            while (!waiting.load()) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // asleep by now
            Seen seen{&returned, false};
            ZAVPlatformTest_InsideNextSetEvent(
                [](void* context) {
                    Seen* seen = static_cast<Seen*>(context);
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    seen->early = seen->returned->load();
                },
                &seen);
            EXPECT_TRUE(SetEvent(event));
            waiter.join();
            EXPECT_FALSE(seen.early);
        }
}

// Two threads hand a turn back and forth through two auto-reset events; a
// set that a sleeper misses stalls the pair until the long timeout.
TEST(Events, NoWakeUpIsLostBetweenASetterAndASleeper) {
    Event ping(false, false), pong(false, false);
    const int rounds = 20000;
    std::atomic<int> missed{0};
    std::thread other([&] {
        for (int i = 0; i < rounds; ++i) {
            if (WaitForSingleObject(ping.h, 10000) != WAIT_OBJECT_0) ++missed;
            SetEvent(pong.h);
        }
    });
    for (int i = 0; i < rounds; ++i) {
        SetEvent(ping.h);
        if (WaitForSingleObject(pong.h, 10000) != WAIT_OBJECT_0) ++missed;
    }
    other.join();
    EXPECT_EQ(missed.load(), 0);
}

}  // namespace
