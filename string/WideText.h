// Helpers for terminated and counted WCHAR text. The C library's wide
// functions work on wchar_t, which is not WCHAR on every platform.
#pragma once

#include <stddef.h>
#include <string.h>

#include "ZAVExport.h"

namespace zav {

inline size_t WideLength(const WCHAR* text) {
    if (text == nullptr) return 0;
    const WCHAR* end = text;
    while (*end != 0) ++end;
    return static_cast<size_t>(end - text);
}

inline void CopyChars(WCHAR* dest, const WCHAR* source, size_t count) {
    if (count != 0) memcpy(dest, source, count * sizeof(WCHAR));
}

// For ranges that may overlap.
inline void MoveChars(WCHAR* dest, const WCHAR* source, size_t count) {
    if (count != 0) memmove(dest, source, count * sizeof(WCHAR));
}

inline void FillChars(WCHAR* dest, WCHAR ch, size_t count) {
    for (size_t i = 0; i < count; ++i) dest[i] = ch;
}

// -1, 0 or +1 over the first count code units, compared unsigned.
// Equal runs are skipped four code units at a time; only the chunk holding the
// first difference is looked at unit by unit.
inline int CompareChars(const WCHAR* a, const WCHAR* b, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        unsigned long long x, y;
        memcpy(&x, a + i, sizeof x);
        memcpy(&y, b + i, sizeof y);
        if (x != y) break;
    }
    for (; i < count; ++i)
        if (a[i] != b[i]) return static_cast<unsigned>(a[i]) < static_cast<unsigned>(b[i]) ? -1 : 1;
    return 0;
}

// A code unit through the runtime's narrow case mapping (toupper, tolower),
// which knows bytes only: every other unit stays as it is.
template <int (*Map)(int)>
inline WCHAR MapUnit(WCHAR c) {
    return c < 0x100 ? static_cast<WCHAR>(Map(c)) : c;
}

// The first occurrence of ch among count characters, or null.
inline const WCHAR* FindChar(const WCHAR* text, size_t count, WCHAR ch) {
    for (const WCHAR* end = text + count; text != end; ++text)
        if (*text == ch) return text;
    return nullptr;
}

}  // namespace zav
