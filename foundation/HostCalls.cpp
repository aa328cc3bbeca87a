// The stand-in's calls that hosts make, exported under the library's
// prefix: the stand-in itself is bound inside the library and never
// exported.
#include "EventLogEntries.h"
#include "ZAVEventOutlet.h"
#include "ZAVHostCalls.h"

extern "C" {

void ZAVPlatform_InitializeCriticalSection(CRITICAL_SECTION* cs) { InitializeCriticalSection(cs); }
void ZAVPlatform_DeleteCriticalSection(CRITICAL_SECTION* cs) { DeleteCriticalSection(cs); }
void ZAVPlatform_EnterCriticalSection(CRITICAL_SECTION* cs) { EnterCriticalSection(cs); }
void ZAVPlatform_LeaveCriticalSection(CRITICAL_SECTION* cs) { LeaveCriticalSection(cs); }
DWORD ZAVPlatform_GetLastError(void) { return GetLastError(); }
void ZAVPlatform_SetLastError(DWORD code) { SetLastError(code); }
WCHAR* ZAVPlatform_GetCommandLineW(void) { return GetCommandLineW(); }

ZAVEventOutlet ZAVPlatform_LastEventReport(char* where, size_t size, BOOL* taken) {
    return zavplatform::LastEventReport(where, size, taken);
}

}  // extern "C"
