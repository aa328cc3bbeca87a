// The stand-in's thread state, critical sections and events with
// threads set against each other.
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

using std::chrono::milliseconds;

// Runs body on n threads; answers them once all have started and have
// likely gone to sleep in their waits.
std::vector<std::thread> Waiting(int n, const std::function<void(int)>& body) {
    std::vector<std::thread> threads;
    std::atomic<int> started{0};  // touched by each thread only before it is counted
    for (int t = 0; t < n; ++t)
        threads.emplace_back([&started, body, t] {
            ++started;
            body(t);
        });
    while (started.load() < n) std::this_thread::yield();
    std::this_thread::sleep_for(milliseconds(20));
    return threads;
}

TEST(Threads, TheLastErrorIsEachThreadsOwn) {
    SetLastError(42);
    DWORD other = 1;
    std::thread([&] { other = GetLastError(), SetLastError(7); }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 42u);
}

TEST(CriticalSection, IsRecursiveForItsHolderAndExcludesOthers) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    const auto tryOnOtherThread = [&] {
        BOOL entered = FALSE;
        std::thread([&] {
            if ((entered = TryEnterCriticalSection(&cs))) LeaveCriticalSection(&cs);
        }).join();
        return entered;
    };
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);  // not recursive, it would hang here
    LeaveCriticalSection(&cs);
    EXPECT_FALSE(tryOnOtherThread()) << "still held once";
    LeaveCriticalSection(&cs);
    EXPECT_TRUE(tryOnOtherThread());
    DeleteCriticalSection(&cs);
}

// Every thread asleep on a manual-reset event when it is set goes through,
// even when a reset follows at once, as on Windows; without the reset the
// event stays set for every later waiter.
TEST(Events, ManualResetReleasesEveryThreadWaitingAtTheSet) {
    for (int round = 0; round < 20; ++round) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        EXPECT_EQ(WaitForSingleObject(event, round == 0 ? 20 : 0), DWORD(WAIT_TIMEOUT));
        std::atomic<int> through{0};
        auto sleepers = Waiting(4, [&](int) { through += WaitForSingleObject(event, 2000) == WAIT_OBJECT_0; });
        SetEvent(event);
        if (round % 2 == 0) ResetEvent(event);
        for (std::thread& t : sleepers) t.join();
        ASSERT_EQ(through.load(), 4) << "round " << round;
        EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(round % 2 == 0 ? WAIT_TIMEOUT : WAIT_OBJECT_0)) << round;
        CloseHandle(event);
    }
}

// Each set lets exactly one waiter through, whether it was asleep or came
// later; the others time out. (A set on a set event adds nothing, so the
// second waits until the first has gone through.)
TEST(Events, AutoResetLetsOneWaiterThroughPerSet) {
    HANDLE event = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT)) << "taken by the first wait";
    std::atomic<int> through{0};
    auto waiters = Waiting(4, [&](int) { through += WaitForSingleObject(event, 1500) == WAIT_OBJECT_0; });
    SetEvent(event);
    while (through.load() == 0) std::this_thread::yield();
    SetEvent(event);
    for (std::thread& t : waiters) t.join();
    EXPECT_EQ(through.load(), 2) << "the other two time out";
    CloseHandle(event);
}

// A waiter that closes the event as soon as its wait returns, as Win32 code
// does: SetEvent must be done with the event by then, so no wait, asleep or
// polling, may return while SetEvent is still inside.
TEST(Events, NoWaitReturnsWhileSetEventIsStillInside) {
    static std::atomic<bool> returned, early;  // the control's action takes no capture
    for (int kind = 0; kind < 4; ++kind) {
        const bool manualReset = kind & 1, polling = kind & 2;
        SCOPED_TRACE(std::string(manualReset ? "manual" : "auto") + (polling ? ", polling" : ", asleep"));
        HANDLE event = CreateEventW(nullptr, manualReset, FALSE, nullptr);
        returned = early = false;
        auto waiter = Waiting(1, [&](int) {
            DWORD result;
            while ((result = WaitForSingleObject(event, polling ? 0 : 5000)) == WAIT_TIMEOUT && polling) {
            }
            EXPECT_EQ(result, DWORD(WAIT_OBJECT_0));
            returned = true;
            EXPECT_TRUE(CloseHandle(event));
        });
        ZAVPlatformTest_InsideNextSetEvent(
            [](void*) {
                std::this_thread::sleep_for(milliseconds(20));
                early = returned.load();
            },
            nullptr);
        EXPECT_TRUE(SetEvent(event));
        waiter[0].join();
        EXPECT_TRUE(returned.load());
        EXPECT_FALSE(early.load());
    }
}

// Two threads hand a turn back and forth through two auto-reset events; a
// set that a sleeper misses stalls the pair until the long timeout.
TEST(Events, NoWakeUpIsLostBetweenASetterAndASleeper) {
    HANDLE ping = CreateEventW(nullptr, FALSE, FALSE, nullptr), pong = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> missed{0};
    auto players = Waiting(2, [&](int t) {
        for (int i = 0; i < 20000; ++i) {
            if (t == 0) SetEvent(ping);
            if (WaitForSingleObject(t == 0 ? pong : ping, 10000) != WAIT_OBJECT_0) ++missed;
            if (t == 1) SetEvent(pong);
        }
    });
    for (std::thread& t : players) t.join();
    EXPECT_EQ(missed.load(), 0);
    CloseHandle(ping);
    CloseHandle(pong);
}

}  // namespace
