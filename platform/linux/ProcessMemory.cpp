// psapi's memory counters from /proc/self/statm.
#include <fcntl.h>
#include <pthread.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "Handles.h"

using zavplatform::ProcessHandle;

namespace {

// A descriptor on /proc/self names the process that opened it, so a child
// after fork opens its own.
std::atomic<unsigned> gForks{0};

void CountFork() { gForks.fetch_add(1, std::memory_order_relaxed); }

// The fields of statm (in pages): total, resident, shared, text, library,
// data + stack, dirty. A trace with memory monitoring asks on every line, so
// the file stays open with the handle and a query is one read.
bool ReadStatm(ProcessHandle& process, unsigned long long fields[7]) {
    const unsigned forks = gForks.load(std::memory_order_relaxed);
    if (process.countersFile < 0 || forks != process.countersFileFork) {
        static std::once_flag atFork;
        std::call_once(atFork, [] { pthread_atfork(nullptr, nullptr, CountFork); });
        if (process.countersFile >= 0) close(process.countersFile);
        process.countersFile = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
        process.countersFileFork = forks;
        if (process.countersFile < 0) return false;
    }
    char text[160];
    const ssize_t n = pread(process.countersFile, text, sizeof text - 1, 0);
    if (n <= 0) return false;
    text[n] = 0;
    const char* at = text;
    for (int i = 0; i < 7; ++i) {
        while (*at == ' ') ++at;
        if (*at < '0' || *at > '9') return false;
        unsigned long long value = 0;
        for (; *at >= '0' && *at <= '9'; ++at) value = value * 10 + static_cast<unsigned>(*at - '0');
        fields[i] = value;
    }
    return true;
}

}  // namespace

zavplatform::ProcessHandle::~ProcessHandle() {
    if (countersFile >= 0) close(countersFile);
}

extern "C" BOOL WINAPI GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD size) {
    ProcessHandle* handle = zavplatform::HandleAs<ProcessHandle>(process);
    if (handle == nullptr) return FALSE;
    if (counters == nullptr || size < sizeof(PROCESS_MEMORY_COUNTERS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    unsigned long long pages[7];
    if (!ReadStatm(*handle, pages)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    static const unsigned long long pageSize = static_cast<unsigned long long>(sysconf(_SC_PAGESIZE));
    memset(counters, 0, sizeof *counters);
    counters->cb = sizeof *counters;
    counters->WorkingSetSize = static_cast<SIZE_T>(pages[1] * pageSize);
    counters->PagefileUsage = static_cast<SIZE_T>(pages[5] * pageSize);
    if (counters->WorkingSetSize > handle->peakResident) handle->peakResident = counters->WorkingSetSize;
    if (counters->PagefileUsage > handle->peakPrivate) handle->peakPrivate = counters->PagefileUsage;
    counters->PeakWorkingSetSize = handle->peakResident;
    counters->PeakPagefileUsage = handle->peakPrivate;
    return TRUE;
}
