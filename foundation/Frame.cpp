#include "ZAVFrame.h"

// Records whose layouts hosts and the system share with the library.
static_assert(sizeof(OSVERSIONINFOW) == 276, "version record");
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PROCESS_HEAP_ENTRY) == 28, "heap walk record");
static_assert(sizeof(void*) == 4, "32-bit layouts");
#endif

int ZAV_ValidHandle(void* handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE ? 1 : 0; }

int ZAV_IsBigEndian() { return 0; }

int fnZAVUtil1() { return 42; }

#ifdef _WIN32
// Nothing of the library runs at load or unload: every export starts from
// its static initial value.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
