// Kernel objects behind HANDLE values. Each kind derives from HandleObject;
// CloseHandle releases any of them.
#pragma once

#include "ZAVPlatform.h"

namespace zavplatform {

enum class HandleKind { File, Event, Process, EventSource };

// Each kind names itself, so a handle is checked without RTTI on every write.
class HandleObject {
public:
    explicit HandleObject(HandleKind kind) : kind_(kind) {}
    virtual ~HandleObject() = default;
    HandleKind kind() const { return kind_; }

private:
    const HandleKind kind_;
};

// The object behind a handle when it is of kind T (T::kKind); null, with
// the last error ERROR_INVALID_HANDLE, otherwise.
template <typename T>
T* HandleAs(HANDLE handle) {
    HandleObject* object =
        handle != nullptr && handle != INVALID_HANDLE_VALUE ? static_cast<HandleObject*>(handle) : nullptr;
    if (object == nullptr || object->kind() != T::kKind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<T*>(object);
}

inline HandleObject* AnyHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<HandleObject*>(handle);
}

// The own process (OpenProcess), for psapi's queries, which keep their
// source open here between calls.
class ProcessHandle : public HandleObject {
public:
    static const HandleKind kKind = HandleKind::Process;
    ProcessHandle() : HandleObject(kKind) {}
    ~ProcessHandle() override;

    int countersFile = -1;            // the memory counters' source; -1: not open
    unsigned countersFileFork = 0;    // the fork it was opened in
    SIZE_T peakResident = 0, peakPrivate = 0;  // the highest values answered
};

inline HANDLE AsHandle(HandleObject* object) { return static_cast<HANDLE>(object); }

}  // namespace zavplatform
