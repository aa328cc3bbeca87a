#include "AnsiText.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace zav {
namespace {

constexpr WCHAR kReplacement = 0xFFFD;

// The C locale of a POSIX system may reject bytes above 0x7F; the Windows
// runtime's maps them to U+0080..U+00FF, and so does the library everywhere.
bool ByteForByte() { return ZAVPlatform_ByteValuedLocale() != FALSE; }

// Collects units, counting those that do not fit.
struct WideSink {
    WCHAR* dest;
    size_t limit;
    size_t written = 0;
    bool full = false;

    void Put(uint32_t codePoint) {
        const size_t units = codePoint > 0xFFFF ? 2 : 1;
        if (dest != nullptr) {
            if (full || written + units > limit) {
                full = true;
                return;
            }
            if (units == 2) {
                codePoint -= 0x10000;
                dest[written] = static_cast<WCHAR>(0xD800 + (codePoint >> 10));
                dest[written + 1] = static_cast<WCHAR>(0xDC00 + (codePoint & 0x3FF));
            } else {
                dest[written] = static_cast<WCHAR>(codePoint);
            }
        }
        written += units;
    }
};

struct ByteSink {
    char* dest;
    size_t limit;
    size_t written = 0;
    bool full = false;

    void Put(const char* bytes, size_t count) {
        if (dest != nullptr) {
            if (full || written + count > limit) {
                full = true;
                return;
            }
            memcpy(dest + written, bytes, count);
        }
        written += count;
    }
};

}  // namespace

size_t AnsiToWide(const char* text, WCHAR* dest, size_t limit) {
    if (text == nullptr) return 0;
    WideSink sink{dest, limit};
    if (ByteForByte()) {
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0 && !sink.full; ++p)
            sink.Put(*p);
        return sink.written;
    }
    size_t remaining = strlen(text);
    mbstate_t state{};
    while (remaining != 0 && !sink.full) {
        wchar_t wide = 0;
        const size_t used = mbrtowc(&wide, text, remaining, &state);
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2) || used == 0) {
            sink.Put(kReplacement);
            state = mbstate_t{};
            ++text;
            --remaining;
            continue;
        }
        const uint32_t codePoint = static_cast<uint32_t>(wide);
        sink.Put(codePoint <= 0x10FFFF ? codePoint : kReplacement);
        text += used;
        remaining -= used;
    }
    return sink.written;
}

size_t WideToAnsi(const WCHAR* text, size_t count, char* dest, size_t limit) {
    if (text == nullptr) return 0;
    if (ByteForByte()) {
        const size_t n = dest == nullptr ? count : (count < limit ? count : limit);
        if (dest != nullptr)
            for (size_t i = 0; i < n; ++i) dest[i] = text[i] <= 0xFF ? static_cast<char>(text[i]) : '?';
        return n;
    }
    ByteSink sink{dest, limit};
    mbstate_t state{};
    for (size_t i = 0; i < count && !sink.full; ++i) {
        uint32_t codePoint = text[i];
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
            sink.Put("?", 1);
            continue;
        }
#if defined(_WIN32)
        if (codePoint > 0xFFFF) {  // the runtime's wchar_t holds no such character
            sink.Put("?", 1);
            continue;
        }
#endif
        char bytes[MB_LEN_MAX];
        const size_t used = wcrtomb(bytes, static_cast<wchar_t>(codePoint), &state);
        if (used == static_cast<size_t>(-1)) {
            state = mbstate_t{};
            sink.Put("?", 1);
        } else {
            sink.Put(bytes, used);
        }
    }
    return sink.written;
}

}  // namespace zav
