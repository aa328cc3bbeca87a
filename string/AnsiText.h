// Conversion between ANSI (8-bit multibyte) text and UTF-16 under the
// calling thread's current locale. In the C locale every byte is the
// character of the same value, as with the Windows runtime's default locale;
// elsewhere the locale's own encoding is used, with surrogate pairs for
// characters above U+FFFF.
#pragma once

#include <stddef.h>

#include "ZAVExport.h"

namespace zav {

// Converts text up to its zero byte. Writes at most limit units to dest (no
// terminator; dest may be null to measure) and answers how many units were
// written, or with a null dest how many the whole text needs. A byte that
// starts no valid character becomes U+FFFD.
size_t AnsiToWide(const char* text, WCHAR* dest, size_t limit);

// Converts count units. Writes at most limit bytes to dest (no terminator,
// never part of a character; dest may be null to measure) and answers how
// many bytes were written, or with a null dest how many are needed. A
// character the locale cannot encode, or a lone surrogate, becomes '?'.
size_t WideToAnsi(const WCHAR* text, size_t count, char* dest, size_t limit);

}  // namespace zav
