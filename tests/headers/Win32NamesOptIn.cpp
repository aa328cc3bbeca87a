// A host written against the Win32 names asks for them and gets the types
// and the calls it makes around the library, unqualified.
#define ZAVUTIL1_WIN32_NAMES
#include <ZAVUtil1/ZAVUtil1.h>

DWORD Use(const WCHAR* name) {
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    ZAVLinkAnchor queue;
    ZAV_LinkInitAnchor(&queue, &lock);
    EnterCriticalSection(&lock);
    LeaveCriticalSection(&lock);
    DeleteCriticalSection(&lock);
    LONG level = 0;
    ZAVString text(name);
    return GetLastError() + static_cast<DWORD>(level) + static_cast<DWORD>(text.length()) + queue.Count;
}
