// Kernel objects behind HANDLE values. Each kind derives from HandleObject;
// CloseHandle releases any of them.
#pragma once

#include "ZAVPlatform.h"

namespace zavplatform {

class HandleObject {
public:
    virtual ~HandleObject() = default;
};

// The object behind a handle when it is of kind T; null (and the last
// error ERROR_INVALID_HANDLE) otherwise.
template <typename T>
T* HandleAs(HANDLE handle) {
    T* object = handle != nullptr && handle != INVALID_HANDLE_VALUE
                    ? dynamic_cast<T*>(static_cast<HandleObject*>(handle))
                    : nullptr;
    if (object == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

inline HANDLE AsHandle(HandleObject* object) { return static_cast<HANDLE>(object); }

}  // namespace zavplatform
