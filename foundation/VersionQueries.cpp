#include <string.h>

#include "ZAVFrame.h"
#include "ZAVVersion.h"

namespace zav {

const OSVERSIONINFOW& VersionRecord() {
    // A failed query leaves the record cleared, so every test answers 0.
    static const OSVERSIONINFOW record = [] {
        OSVERSIONINFOW v;
        memset(&v, 0, sizeof v);
        v.dwOSVersionInfoSize = sizeof v;
        if (!GetVersionExW(&v)) {
            memset(&v, 0, sizeof v);
            v.dwOSVersionInfoSize = sizeof v;
        }
        return v;
    }();
    return record;
}

}  // namespace zav

static bool AtLeast(DWORD major, DWORD minor) {
    const OSVERSIONINFOW& v = zav::VersionRecord();
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           (v.dwMajorVersion > major || (v.dwMajorVersion == major && v.dwMinorVersion >= minor));
}

int ZAV_IsWinNT() { return zav::VersionRecord().dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0; }
int ZAV_IsWin2K() { return AtLeast(5, 0) ? 1 : 0; }
int ZAV_IsWinXP() { return AtLeast(5, 1) ? 1 : 0; }
int ZAV_IsWin2003() { return AtLeast(5, 2) ? 1 : 0; }
