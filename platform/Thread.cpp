#include <pthread.h>
#include <unistd.h>

#include "SystemQueries.h"

namespace {
ZAV_FAST_TLS thread_local DWORD tLastError = 0;
// The one copy of the thread's id that every caller shares, asked of the
// kernel once per thread.
ZAV_FAST_TLS thread_local DWORD tThreadId = 0;

// A child of fork starts with its parent thread's copy, an id that is not
// its own and that the kernel may give to another thread later.
const int gForgetIdInChild = pthread_atfork(nullptr, nullptr, [] { tThreadId = 0; });
}  // namespace

extern "C" DWORD WINAPI GetLastError(void) { return tLastError; }
extern "C" void WINAPI SetLastError(DWORD code) { tLastError = code; }

extern "C" DWORD WINAPI GetCurrentThreadId(void) {
    if (tThreadId == 0) tThreadId = zavplatform::SystemThreadId();
    return tThreadId;
}

extern "C" DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }
