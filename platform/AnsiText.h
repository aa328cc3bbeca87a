// Conversion between ANSI (8-bit multibyte) text and UTF-16, the one both
// the library and the stand-in use, so that ZAVString's ANSI form and the
// stand-in's "A" calls never differ. It reads the calling thread's locale
// (uselocale, else the process's): in the C locale every byte is the
// character of the same value, as with the Windows runtime's default
// locale; elsewhere the locale's own encoding is used, with surrogate pairs
// for characters above U+FFFF. A surrogate pair is one character, also
// where it cannot be encoded.
#pragma once

#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include "ZAVPlatform.h"

namespace zav {
namespace ansitext {

constexpr WCHAR kReplacement = 0xFFFD;

// The C locale of a POSIX system may reject bytes above 0x7F; the Windows
// runtime's maps them to U+0080..U+00FF, and so does the library everywhere.
inline bool ByteForByte() { return ZAVPlatform_ByteValuedLocale() != FALSE; }

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

// Collects bytes, never part of a character.
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

// The code point at text[i], a surrogate pair taken whole (i moves past its
// first unit); a lone surrogate comes back as it stands.
inline uint32_t NextCodePoint(const WCHAR* text, size_t count, size_t& i) {
    const uint32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        ++i;
        return 0x10000 + ((unit - 0xD800) << 10) + (text[i] - 0xDC00u);
    }
    return unit;
}

// How many surrogate pairs the units hold, without a branch per unit.
inline size_t SurrogatePairs(const WCHAR* text, size_t count) {
    size_t pairs = 0;
    for (size_t i = 0; i + 1 < count; ++i)
        pairs += static_cast<size_t>((text[i] & 0xFC00) == 0xD800) & static_cast<size_t>((text[i + 1] & 0xFC00) == 0xDC00);
    return pairs;
}

inline bool IsSurrogate(uint32_t codePoint) { return codePoint >= 0xD800 && codePoint <= 0xDFFF; }

}  // namespace ansitext

// Converts text up to its zero byte. Writes at most limit units to dest (no
// terminator; dest may be null to measure) and answers how many units were
// written, or with a null dest how many the whole text needs. A byte that
// starts no valid character becomes U+FFFD.
inline size_t AnsiToWide(const char* text, WCHAR* dest, size_t limit) {
    using namespace ansitext;
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

// Units up to U+00FF are their own bytes and are never surrogates, so text
// made of them alone (nearly every line) is converted in one pass the
// compiler widens, and checked afterwards; anything else takes the pass that
// finds surrogate pairs. dest has room for count bytes; answers the bytes
// written, a surrogate pair one '?' for both.
inline size_t WideToBytes(const WCHAR* text, size_t count, char* dest) {
    using namespace ansitext;
    WCHAR above = 0;  // unit-wide, so that the widened loop needs no unpacking
    for (size_t i = 0; i < count; ++i) {
        above = static_cast<WCHAR>(above | text[i]);
        dest[i] = static_cast<char>(text[i]);
    }
    if (above <= 0xFF) return count;
    size_t written = 0;
    for (size_t i = 0; i < count; ++i, ++written) {
        const uint32_t codePoint = NextCodePoint(text, count, i);
        dest[written] = codePoint <= 0xFF ? static_cast<char>(codePoint) : '?';
    }
    return written;
}

// Converts count units. Writes at most limit bytes to dest (no terminator,
// never part of a character; dest may be null to measure) and answers how
// many bytes were written, or with a null dest how many are needed. A
// character the locale cannot encode, or a lone surrogate, becomes '?'.
inline size_t WideToAnsi(const WCHAR* text, size_t count, char* dest, size_t limit) {
    using namespace ansitext;
    if (text == nullptr) return 0;
    if (ByteForByte()) {
        if (dest != nullptr && limit >= count) return WideToBytes(text, count, dest);
        // Every unit is one byte, a surrogate pair one '?' for both.
        const size_t pairs = SurrogatePairs(text, count);
        if (dest == nullptr) return count - pairs;
        size_t written = 0;
        for (size_t i = 0; i < count && written < limit; ++i, ++written) {
            const uint32_t codePoint = NextCodePoint(text, count, i);
            dest[written] = codePoint <= 0xFF ? static_cast<char>(codePoint) : '?';
        }
        return written;
    }
    ByteSink sink{dest, limit};
    mbstate_t state{};
    for (size_t i = 0; i < count && !sink.full; ++i) {
        const uint32_t codePoint = NextCodePoint(text, count, i);
        // The Windows runtime's wchar_t holds no character above U+FFFF.
        if (IsSurrogate(codePoint) || (sizeof(wchar_t) == 2 && codePoint > 0xFFFF)) {
            sink.Put("?", 1);
            continue;
        }
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
