#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Handles.h"

namespace {

class EventHandle : public zavplatform::HandleObject {
public:
    static const zavplatform::HandleKind kKind = zavplatform::HandleKind::Event;
    EventHandle(bool manualReset, bool signalled)
        : HandleObject(kKind), manualReset_(manualReset), signalled_(signalled) {}

    void Set() {
        bool wake;
        {
            std::lock_guard<std::mutex> hold(lock_);
            signalled_ = true;
            wake = waiters_ != 0;
        }
        if (wake) changed_.notify_all();  // most events are set before anyone waits
    }
    void Reset() {
        std::lock_guard<std::mutex> hold(lock_);
        signalled_ = false;
    }
    DWORD Wait(DWORD milliseconds) {
        std::unique_lock<std::mutex> hold(lock_);
        auto ready = [this] { return signalled_; };
        if (!signalled_) {
            ++waiters_;
            const bool woken = milliseconds == INFINITE
                                   ? (changed_.wait(hold, ready), true)
                                   : changed_.wait_for(hold, std::chrono::milliseconds(milliseconds), ready);
            --waiters_;
            if (!woken) return WAIT_TIMEOUT;
        }
        if (!manualReset_) signalled_ = false;
        return WAIT_OBJECT_0;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    const bool manualReset_;
    bool signalled_;
    unsigned waiters_ = 0;
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
