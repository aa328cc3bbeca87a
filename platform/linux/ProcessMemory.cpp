// psapi's memory counters from /proc.
#include <stdio.h>
#include <string.h>

#include "Handles.h"

using zavplatform::ProcessHandle;

namespace {

// A "Name:   value kB" field of /proc/self/status, in bytes.
SIZE_T StatusBytes(const char* status, const char* name) {
    const char* at = strstr(status, name);
    if (at == nullptr) return 0;
    unsigned long long kilobytes = 0;
    sscanf(at + strlen(name), " %llu", &kilobytes);
    return static_cast<SIZE_T>(kilobytes * 1024);
}

}  // namespace

extern "C" BOOL WINAPI GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD size) {
    if (zavplatform::HandleAs<ProcessHandle>(process) == nullptr) return FALSE;
    if (counters == nullptr || size < sizeof(PROCESS_MEMORY_COUNTERS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    FILE* file = fopen("/proc/self/status", "re");
    if (file == nullptr) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    char status[8192];
    const size_t n = fread(status, 1, sizeof status - 1, file);
    fclose(file);
    status[n] = 0;
    unsigned long long minor = 0, major = 0;
    if (FILE* stat = fopen("/proc/self/stat", "re")) {
        // Fields 10 and 12 after the parenthesised command name.
        char line[1024];
        if (fgets(line, sizeof line, stat) != nullptr) {
            const char* rest = strrchr(line, ')');
            if (rest != nullptr)
                sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %llu %*u %llu", &minor, &major);
        }
        fclose(stat);
    }
    memset(counters, 0, sizeof *counters);
    counters->cb = sizeof *counters;
    counters->PageFaultCount = static_cast<DWORD>(minor + major);
    counters->PeakWorkingSetSize = StatusBytes(status, "VmHWM:");
    counters->WorkingSetSize = StatusBytes(status, "VmRSS:");
    counters->PagefileUsage = StatusBytes(status, "VmData:");
    counters->PeakPagefileUsage = StatusBytes(status, "VmPeak:");
    return TRUE;
}
