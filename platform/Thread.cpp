#include <unistd.h>

#include "SystemQueries.h"

namespace {
ZAV_FAST_TLS thread_local DWORD tLastError = 0;
ZAV_FAST_TLS thread_local DWORD tThreadId = 0;
}  // namespace

extern "C" DWORD WINAPI GetLastError(void) { return tLastError; }
extern "C" void WINAPI SetLastError(DWORD code) { tLastError = code; }

extern "C" DWORD WINAPI GetCurrentThreadId(void) {
    if (tThreadId == 0) tThreadId = zavplatform::SystemThreadId();
    return tThreadId;
}

extern "C" DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }
