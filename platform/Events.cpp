#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Handles.h"

namespace {

// The state is an atomic flag, so that setting, resetting and finding an
// event set (a trace's write handshake, once per line) take no lock; the
// mutex and condition serve only a thread that must sleep. A setter that
// finds a sleeper registered wakes it under the mutex; a sleeper registers
// before its last look at the flag, so no wake-up is lost between the two.
class EventHandle : public zavplatform::HandleObject {
public:
    static const zavplatform::HandleKind kKind = zavplatform::HandleKind::Event;
    EventHandle(bool manualReset, bool signalled)
        : HandleObject(kKind), manualReset_(manualReset), signalled_(signalled) {}

    void Set() {
        signalled_.store(true, std::memory_order_seq_cst);
        if (waiters_.load(std::memory_order_seq_cst) != 0) {
            std::lock_guard<std::mutex> hold(lock_);
            changed_.notify_all();
        }
    }
    void Reset() { signalled_.store(false, std::memory_order_release); }
    DWORD Wait(DWORD milliseconds) {
        if (TryConsume()) return WAIT_OBJECT_0;
        if (milliseconds == 0) return WAIT_TIMEOUT;
        std::unique_lock<std::mutex> hold(lock_);
        waiters_.fetch_add(1, std::memory_order_seq_cst);
        auto ready = [this] { return TryConsume(); };
        const bool woken = milliseconds == INFINITE
                               ? (changed_.wait(hold, ready), true)
                               : changed_.wait_for(hold, std::chrono::milliseconds(milliseconds), ready);
        waiters_.fetch_sub(1, std::memory_order_relaxed);
        return woken ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }

private:
    // A manual-reset event stays set for every waiter; an auto-reset one
    // lets exactly one through. Sequentially consistent, as the sleeper's
    // registration before it is: on x86 a plain load all the same.
    bool TryConsume() {
        if (manualReset_) return signalled_.load(std::memory_order_seq_cst);
        bool expected = true;
        return signalled_.load(std::memory_order_seq_cst) && signalled_.compare_exchange_strong(expected, false);
    }

    std::mutex lock_;
    std::condition_variable changed_;
    const bool manualReset_;
    std::atomic<bool> signalled_;
    std::atomic<unsigned> waiters_{0};
};

}  // namespace

extern "C" HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    if (name != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);  // named events are shared objects; none here
        return nullptr;
    }
    return zavplatform::AsHandle(new EventHandle(manualReset != FALSE, initialState != FALSE));
}

extern "C" BOOL WINAPI SetEvent(HANDLE event) {
    EventHandle* e = zavplatform::HandleAs<EventHandle>(event);
    if (e == nullptr) return FALSE;
    e->Set();
    return TRUE;
}

extern "C" BOOL WINAPI ResetEvent(HANDLE event) {
    EventHandle* e = zavplatform::HandleAs<EventHandle>(event);
    if (e == nullptr) return FALSE;
    e->Reset();
    return TRUE;
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    EventHandle* e = zavplatform::HandleAs<EventHandle>(object);
    return e != nullptr ? e->Wait(milliseconds) : WAIT_FAILED;
}

extern "C" BOOL WINAPI GetOverlappedResult(HANDLE, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL) {
    if (overlapped == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    if (overlapped->Internal != 0) {
        SetLastError(static_cast<DWORD>(overlapped->Internal));
        return FALSE;
    }
    return TRUE;
}
