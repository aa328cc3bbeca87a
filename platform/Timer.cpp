#include <time.h>

#include "SystemQueries.h"
#include "TestControls.h"

using zavplatform::Controls;

static constexpr LONGLONG kNanosPerSecond = 1000000000;

static LONGLONG ClockNanos(clockid_t clock) {
    struct timespec ts;
    clock_gettime(clock, &ts);
    return static_cast<LONGLONG>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

static LONGLONG Frequency() {
    LONGLONG f = Controls().performanceFrequency.load(std::memory_order_relaxed);
    return f > 0 ? f : kNanosPerSecond;
}

extern "C" BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (Controls().failPerformanceFrequency.load(std::memory_order_relaxed)) {
        if (frequency != nullptr) frequency->QuadPart = 0;
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (frequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = Frequency();
    return TRUE;
}

extern "C" BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LONGLONG nanos = ClockNanos(CLOCK_MONOTONIC);
    LONGLONG f = Frequency();
    LONGLONG counts = f == kNanosPerSecond
                          ? nanos
                          : (nanos / kNanosPerSecond) * f + (nanos % kNanosPerSecond) * f / kNanosPerSecond;
    count->QuadPart = counts + Controls().performanceCounterOffset.load(std::memory_order_relaxed);
    return TRUE;
}

extern "C" DWORD WINAPI GetTickCount(void) {
    // Milliseconds since boot, suspend included, wrapping as Windows' does.
    return static_cast<DWORD>(zavplatform::MillisecondsSinceBoot()) + Controls().tickCountOffset.load(std::memory_order_relaxed);
}
