#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Handles.h"
#include "TestControls.h"

namespace {

// All state changes under the mutex, and a setter wakes sleepers before it
// lets go of it: a waiter that returns and closes the event (as Win32 code
// does) cannot leave a setter still working on it.
class EventHandle : public zavplatform::HandleObject {
public:
    static const zavplatform::HandleKind kKind = zavplatform::HandleKind::Event;
    EventHandle(bool manualReset, bool signalled)
        : HandleObject(kKind), manualReset_(manualReset), signalled_(signalled) {}

    void Set() {
        std::lock_guard<std::mutex> hold(lock_);
        if (manualReset_) {
            // Every thread asleep now goes, even if a reset follows at once.
            signalled_ = true;
            ++generation_;
            changed_.notify_all();
        } else if (sleepers_ > handedOver_) {
            // Straight to one sleeper; the event stays reset.
            ++handedOver_;
            changed_.notify_one();
        } else {
            signalled_ = true;
        }
        zavplatform::TestControls& controls = zavplatform::Controls();
        if (void (*action)(void*) = controls.insideSetEvent.exchange(nullptr)) action(controls.insideSetEventContext.load());
    }
    void Reset() {
        std::lock_guard<std::mutex> hold(lock_);
        signalled_ = false;
    }
    DWORD Wait(DWORD milliseconds) {
        std::unique_lock<std::mutex> hold(lock_);
        if (signalled_) {
            if (!manualReset_) signalled_ = false;
            return WAIT_OBJECT_0;
        }
        if (milliseconds == 0) return WAIT_TIMEOUT;
        ++sleepers_;
        const uint64_t generation = generation_;
        auto released = [&] {
            if (manualReset_) return generation_ != generation;
            if (handedOver_ == 0) return false;
            --handedOver_;
            return true;
        };
        const bool woken = milliseconds == INFINITE
                               ? (changed_.wait(hold, released), true)
                               : changed_.wait_for(hold, std::chrono::milliseconds(milliseconds), released);
        --sleepers_;
        return woken ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    const bool manualReset_;
    // Under lock_:
    bool signalled_;
    uint64_t generation_ = 0;  // manual reset: sets so far
    unsigned sleepers_ = 0;
    unsigned handedOver_ = 0;  // auto reset: sets given to sleepers not yet awake
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
