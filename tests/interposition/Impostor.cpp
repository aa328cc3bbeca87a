// Another Win32 layer in the host's process, as a compatibility library or
// a host's own shim would be: the same names as the library's stand-in,
// preloaded so that they come first in the global symbol space, and each
// answering wrongly. The library must not call any of them.
#include <stddef.h>
#include <stdint.h>

#define IMPOSTOR_API extern "C" __attribute__((visibility("default")))

IMPOSTOR_API void* CreateFileW(const char16_t*, uint32_t, uint32_t, void*, uint32_t, uint32_t, void*) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(-1));
}

IMPOSTOR_API uint32_t GetLastError(void) { return 0xBAD; }

IMPOSTOR_API char16_t* GetCommandLineW(void) {
    static char16_t line[] = u"impostor.exe";
    return line;
}

IMPOSTOR_API void* HeapAlloc(void*, uint32_t, size_t) { return nullptr; }
