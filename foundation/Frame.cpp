#include "ZAVFrame.h"

int ZAV_ValidHandle(void* handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE ? 1 : 0; }

int ZAV_IsBigEndian() { return 0; }

int fnZAVUtil1() { return 42; }

#ifdef _WIN32
// Nothing of the library runs at load or unload: every export starts from
// its static initial value.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
