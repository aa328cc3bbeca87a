#include <time.h>

#include "ZAVPlatform.h"

namespace {

// The memory monitor stamps every allocation and the trace every line;
// formatting once per second keeps them off localtime's lock.
struct SecondText {
    time_t second = -1;
    WCHAR text[9];
};

WCHAR* LocalTimeText(SecondText& cache, const char* format, WCHAR* buffer) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    if (now.tv_sec != cache.second) {
        struct tm local;
        localtime_r(&now.tv_sec, &local);
        char text[16];
        strftime(text, sizeof text, format, &local);
        for (int i = 0; i < 9; ++i) cache.text[i] = static_cast<unsigned char>(text[i]);
        cache.second = now.tv_sec;
    }
    for (int i = 0; i < 9; ++i) buffer[i] = cache.text[i];
    return buffer;
}

ZAV_FAST_TLS thread_local SecondText tTime, tDate;

}  // namespace

extern "C" WCHAR* _wstrtime(WCHAR* buffer) { return LocalTimeText(tTime, "%H:%M:%S", buffer); }

extern "C" WCHAR* _wstrdate(WCHAR* buffer) { return LocalTimeText(tDate, "%m/%d/%y", buffer); }

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
