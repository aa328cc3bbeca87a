// The platform's wide text (WCHAR: char16_t on POSIX, wchar_t on Windows) as
// a standard string, for readable comparisons in tests of both platforms.
#pragma once

#include <string>

#include "ZAVUtil1.h"

using WString = std::basic_string<WCHAR>;

// ASCII text widened unit by unit.
inline WString Widen(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

// The text of a library string, for readable comparisons.
inline WString Text(const ZAVString& s) { return WString(s.c_str(), s.size()); }
