#include <time.h>

#include "Handles.h"

namespace {
// The memory monitor stamps every allocation; formatting once per second
// keeps that off localtime's lock.
ZAV_FAST_TLS thread_local time_t tCachedSecond = -1;
ZAV_FAST_TLS thread_local WCHAR tCachedText[9];
}  // namespace

extern "C" WCHAR* _wstrtime(WCHAR* buffer) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    if (now.tv_sec != tCachedSecond) {
        struct tm local;
        localtime_r(&now.tv_sec, &local);
        char text[16];
        strftime(text, sizeof text, "%H:%M:%S", &local);
        for (int i = 0; i < 9; ++i) tCachedText[i] = static_cast<unsigned char>(text[i]);
        tCachedSecond = now.tv_sec;
    }
    for (int i = 0; i < 9; ++i) buffer[i] = tCachedText[i];
    return buffer;
}

// Traces stamp every line with the date; it is formatted once per second.
extern "C" WCHAR* _wstrdate(WCHAR* buffer) {
    static ZAV_FAST_TLS thread_local time_t tDateSecond = -1;
    static ZAV_FAST_TLS thread_local WCHAR tDateText[9];
    struct timespec now;
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    if (now.tv_sec != tDateSecond) {
        struct tm local;
        localtime_r(&now.tv_sec, &local);
        char text[16];
        strftime(text, sizeof text, "%m/%d/%y", &local);
        for (int i = 0; i < 9; ++i) tDateText[i] = static_cast<unsigned char>(text[i]);
        tDateSecond = now.tv_sec;
    }
    for (int i = 0; i < 9; ++i) buffer[i] = tDateText[i];
    return buffer;
}

// The Windows runtime's layout: the day of the month has two digits.
extern "C" WCHAR* _wctime(const time_t* moment) {
    static thread_local WCHAR buffer[26];
    if (moment == nullptr) return nullptr;
    struct tm local;
    if (localtime_r(moment, &local) == nullptr) return nullptr;
    char text[32];
    strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y\n", &local);
    for (int i = 0; i < 26; ++i) buffer[i] = static_cast<unsigned char>(text[i]);
    return buffer;
}
