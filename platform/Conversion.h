// Text conversions of the stand-in. POSIX file names and user names are
// UTF-8 whatever locale the host has chosen; the ANSI forms of the calls
// convert as the library does (AnsiText.h): under the calling thread's
// locale, byte for byte in the C locale.
#pragma once

#include <string>

#include "ZAVPlatform.h"

namespace zavplatform {

// Lone surrogates become U+FFFD.
std::string ToUtf8(const WCHAR* text, size_t count);
std::string ToUtf8(const WCHAR* text);  // up to the terminator; null is empty

// Invalid sequences become U+FFFD.
std::u16string FromUtf8(const std::string& text);

// The ANSI code page: the thread's locale's multibyte encoding, each byte
// its own character in the C locale; what it cannot encode becomes '?'.
std::string ToAnsi(const std::u16string& text);
// And back; bytes that start no character become U+FFFD.
std::u16string FromAnsi(const char* text);

// Copies text and a terminator into buffer of capacity units, as the Win32
// name queries do: true and *size = units written (terminator excluded)
// when it fits; otherwise false and *size = units needed with it.
bool CopyOut(const std::u16string& text, WCHAR* buffer, DWORD capacity, DWORD* size);
bool CopyOut(const std::string& text, char* buffer, DWORD capacity, DWORD* size);

}  // namespace zavplatform
