// Calls of the stand-in's FormatMessageW/A for its tests.
#pragma once

#include <stdarg.h>

#include <string>
#include <vector>

#include "WString.h"
#include "ZAVPlatform.h"

namespace formatmessage {

const DWORD kString = FORMAT_MESSAGE_FROM_STRING;
const DWORD kArray = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;
const DWORD kIgnore = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS;
const DWORD kNoError = 0xDEADBEEF;

inline DWORD_PTR Wide(const char16_t* text) { return reinterpret_cast<DWORD_PTR>(text); }
inline DWORD_PTR Narrow(const char* text) { return reinterpret_cast<DWORD_PTR>(text); }

// What a call did: its result, last error and buffer.
template <typename Char>
struct Outcome {
    DWORD result;
    DWORD error;
    std::basic_string<Char> buffer;  // the whole buffer, terminator and all
    bool whole = false;              // buffer is the text
    std::basic_string<Char> text() const { return whole ? buffer : buffer.substr(0, result); }
};

// Formats into a buffer of size units that holds 'x' before the call.
template <typename Char>
Outcome<Char> Call(DWORD flags, const Char* source, DWORD size, va_list* arguments) {
    std::basic_string<Char> buffer(size, 'x');
    SetLastError(kNoError);
    DWORD result;
    if constexpr (sizeof(Char) == 1)
        result = FormatMessageA(flags, source, 0, 0, &buffer[0], size, arguments);
    else
        result = FormatMessageW(flags, source, 0, 0, &buffer[0], size, arguments);
    return {result, GetLastError(), buffer};
}

// With an argument array (padded with nulls) into a buffer of 512 units.
template <typename Char>
Outcome<Char> WithArray(DWORD flags, const Char* source, std::vector<DWORD_PTR> values, DWORD size = 512) {
    values.resize(values.size() + 8, 0);
    return Call<Char>(flags | FORMAT_MESSAGE_ARGUMENT_ARRAY, source, size, reinterpret_cast<va_list*>(values.data()));
}

// Into a LocalAlloc block: its text, "<null>" when the pointer was cleared,
// "<unset>" when it was not touched.
template <typename Char>
Outcome<Char> Allocated(DWORD flags, const Char* source, DWORD minimum, va_list* arguments) {
    Char* const unset = reinterpret_cast<Char*>(1);
    Char* block = unset;
    SetLastError(kNoError);
    DWORD result;
    if constexpr (sizeof(Char) == 1)
        result = FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, 0, 0, reinterpret_cast<Char*>(&block),
                                minimum, arguments);
    else
        result = FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, 0, 0, reinterpret_cast<Char*>(&block),
                                minimum, arguments);
    const DWORD error = GetLastError();
    std::basic_string<Char> text;
    if (block == nullptr) {
        text = {'<', 'n', 'u', 'l', 'l', '>'};
    } else if (block == unset) {
        text = {'<', 'u', 'n', 's', 'e', 't', '>'};
    } else {
        text.assign(block, result);
        LocalFree(block);
    }
    return {result, error, text, true};
}

}  // namespace formatmessage
