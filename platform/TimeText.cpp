#include <stdio.h>
#include <string.h>
#include <time.h>

#include "ZAVPlatform.h"

namespace {

// The memory monitor stamps every allocation and the trace every line;
// formatting once per second keeps them off localtime's lock. All zero at
// first (no second formatted yet), so the thread-local needs no guard.
struct SecondText {
    time_t secondAfter;  // the second formatted, plus one
    WCHAR text[9];
};

// time() is the vDSO's cheapest clock: one load of the second the clock
// ticked last.
WCHAR* LocalTimeText(SecondText& cache, const char* format, WCHAR* buffer) {
    const time_t now = time(nullptr);
    if (now + 1 != cache.secondAfter) {
        struct tm local;
        localtime_r(&now, &local);
        char text[16];
        strftime(text, sizeof text, format, &local);
        for (int i = 0; i < 9; ++i) cache.text[i] = static_cast<unsigned char>(text[i]);
        cache.secondAfter = now + 1;
    }
    memcpy(buffer, cache.text, sizeof cache.text);
    return buffer;
}

ZAV_FAST_TLS thread_local SecondText tTime, tDate;

}  // namespace

extern "C" WCHAR* _wstrtime(WCHAR* buffer) { return LocalTimeText(tTime, "%H:%M:%S", buffer); }

extern "C" WCHAR* _wstrdate(WCHAR* buffer) { return LocalTimeText(tDate, "%m/%d/%y", buffer); }

// The Windows runtime's layout, "Wed Jan 02 03:04:05 2026\n", in English
// whatever LC_TIME says, so that every log line has the same width. Null
// for a moment the runtime refuses: before 1970 or past the year 3000.
extern "C" WCHAR* _wctime(const time_t* moment) {
    static const char kDays[] = "SunMonTueWedThuFriSat";
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    static thread_local WCHAR buffer[26];
    if (moment == nullptr || *moment < 0) return nullptr;
    struct tm local;
    if (localtime_r(moment, &local) == nullptr || local.tm_year + 1900 > 3000 || local.tm_wday < 0 ||
        local.tm_wday > 6 || local.tm_mon < 0 || local.tm_mon > 11)
        return nullptr;
    char text[32];
    const int n = snprintf(text, sizeof text, "%.3s %.3s %02d %02d:%02d:%02d %04d\n", kDays + 3 * local.tm_wday,
                           kMonths + 3 * local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                           local.tm_year + 1900);
    if (n != 25) return nullptr;
    for (int i = 0; i <= n; ++i) buffer[i] = static_cast<unsigned char>(text[i]);
    return buffer;
}
