#include <string.h>

#include "TestControls.h"

using zavplatform::Controls;
using zavplatform::TestControls;

// A modern NT: Windows 10 as the library's version tests see it.
static constexpr DWORD kNativeMajor = 10, kNativeMinor = 0, kNativeBuild = 19045;

extern "C" BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info) {
    if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    TestControls& c = Controls();
    if (c.failVersionQuery.load()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if (c.versionEmulated.load(std::memory_order_acquire)) {
        info->dwPlatformId = c.platformId;
        info->dwMajorVersion = c.major;
        info->dwMinorVersion = c.minor;
        info->dwBuildNumber = c.build;
    } else {
        info->dwPlatformId = VER_PLATFORM_WIN32_NT;
        info->dwMajorVersion = kNativeMajor;
        info->dwMinorVersion = kNativeMinor;
        info->dwBuildNumber = kNativeBuild;
    }
    return TRUE;
}
