// LoadLibraryW / GetProcAddress over the few system DLL entry points the
// library looks up at run time. Later facilities add their modules here.
#include <string.h>

#include <mutex>
#include <string>

#include "TestControls.h"

struct Procedure {
    const char* name;
    FARPROC address;
};

struct ZAVPlatformModule {
    const char* name;  // without ".dll"
    const Procedure* procedures;
    size_t count;
};

template <typename F>
static FARPROC AsProc(F* function) {
    // Through void(*)(), the type that converts to any other function pointer.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

static const Procedure kKernel32[] = {
    {"HeapSetInformation", AsProc(&HeapSetInformation)},
    {"HeapCompact", AsProc(&HeapCompact)},
};

static const Procedure kPsapi[] = {
    {"GetProcessMemoryInfo", AsProc(&GetProcessMemoryInfo)},
};

static ZAVPlatformModule kModules[] = {
    {"kernel32", kKernel32, sizeof kKernel32 / sizeof kKernel32[0]},
    {"psapi", kPsapi, sizeof kPsapi / sizeof kPsapi[0]},
};

static char AsciiLower(WCHAR c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

// Matches "KERNEL32", "kernel32.dll" and the like against a table name.
static bool ModuleNameMatches(LPCWSTR given, const char* name) {
    size_t i = 0;
    for (; name[i] != 0; ++i)
        if (given[i] == 0 || AsciiLower(given[i]) != name[i]) return false;
    if (given[i] == 0) return true;
    static const char kSuffix[] = ".dll";
    for (size_t k = 0; k < 4; ++k)
        if (given[i + k] == 0 || AsciiLower(given[i + k]) != kSuffix[k]) return false;
    return given[i + 4] == 0;
}

static bool IsModule(HMODULE module) {
    for (auto& m : kModules)
        if (module == &m) return true;
    return false;
}

extern "C" HMODULE WINAPI LoadLibraryW(LPCWSTR name) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    for (auto& m : kModules)
        if (ModuleNameMatches(name, m.name)) return &m;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (!IsModule(module) || name == nullptr) {
        SetLastError(module == nullptr ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    {
        auto& controls = zavplatform::Controls();
        std::lock_guard<std::mutex> hold(controls.hiddenLock);
        if (controls.hiddenProcedures.count(name) != 0) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
    }
    for (size_t i = 0; i < module->count; ++i)
        if (strcmp(module->procedures[i].name, name) == 0) return module->procedures[i].address;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE module) {
    if (!IsModule(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
