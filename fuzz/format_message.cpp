// FormatMessageW/A over arbitrary templates, flags, buffer sizes and both
// argument forms. Every argument points to text that reads as wide "ab" and
// as narrow "a", so any conversion of any argument number is defined.
#include <string.h>

#include <vector>

#include "FuzzSupport.h"
#include "ZAVPlatform.h"

namespace {

const char16_t kText[] = u"ab";
const DWORD_PTR kArgument = reinterpret_cast<DWORD_PTR>(kText);
const size_t kArguments = 112;  // more than an insert and its '*' fields can reach

#define ARGS16 kArgument, kArgument, kArgument, kArgument, kArgument, kArgument, kArgument, kArgument, \
               kArgument, kArgument, kArgument, kArgument, kArgument, kArgument, kArgument, kArgument
#define ARGS112 ARGS16, ARGS16, ARGS16, ARGS16, ARGS16, ARGS16, ARGS16

template <typename Char>
DWORD Formatter(DWORD flags, const Char* source, Char* buffer, DWORD size, va_list* arguments) {
    if constexpr (sizeof(Char) == 1)
        return FormatMessageA(flags, source, 0, 0, buffer, size, arguments);
    else
        return FormatMessageW(flags, source, 0, 0, buffer, size, arguments);
}

template <typename Char>
DWORD WithList(DWORD flags, const Char* source, Char* buffer, DWORD size, ...) {
    va_list list;
    va_start(list, size);
    const DWORD result = Formatter<Char>(flags, source, buffer, size, &list);
    va_end(list);
    return result;
}

template <typename Char>
DWORD Call(DWORD flags, const Char* source, Char* buffer, DWORD size, bool useList) {
    if (useList) return WithList<Char>(flags, source, buffer, size, ARGS112);
    std::vector<DWORD_PTR> array(kArguments, kArgument);
    return Formatter<Char>(flags, source, buffer, size, reinterpret_cast<va_list*>(array.data()));
}

bool Failed(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_NO_WORK_DONE ||
           error == ERROR_MORE_DATA;
}

// Into a caller's buffer: on success a terminated text shorter than the
// buffer; the A form leaves the buffer alone on failure, the W form
// terminates it when it overflowed. Answers the text, or "" on failure.
template <typename Char>
std::basic_string<Char> IntoBuffer(DWORD flags, const std::basic_string<Char>& source, DWORD size, bool useList) {
    std::basic_string<Char> buffer(size + 1, 'x');
    SetLastError(0);
    const DWORD result = Call<Char>(flags, source.c_str(), &buffer[0], size, useList);
    const DWORD error = GetLastError();
    if (result != 0) {
        FUZZ_CHECK(result < size);
        FUZZ_CHECK(buffer[result] == 0);
        FUZZ_CHECK(buffer[size] == 'x');
        return buffer.substr(0, result);
    }
    FUZZ_CHECK(Failed(error));
    if (sizeof(Char) == 1) FUZZ_CHECK(buffer == std::basic_string<Char>(size + 1, 'x'));
    if (sizeof(Char) == 2 && error == ERROR_INSUFFICIENT_BUFFER && size != 0) FUZZ_CHECK(buffer[size - 1] == 0);
    FUZZ_CHECK(buffer[size] == 'x');
    return {};
}

template <typename Char>
void IntoBlock(DWORD flags, const std::basic_string<Char>& source, DWORD minimum, bool useList) {
    Char* block = reinterpret_cast<Char*>(1);
    SetLastError(0);
    const DWORD result =
        Call<Char>(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source.c_str(), reinterpret_cast<Char*>(&block), minimum, useList);
    if (result == 0) {
        FUZZ_CHECK(block == nullptr);
        FUZZ_CHECK(Failed(GetLastError()));
        return;
    }
    FUZZ_CHECK(block != nullptr);
    FUZZ_CHECK(block[result] == 0);
    LocalFree(block);
}

// A '*' (whose value is a pointer) or a number of five digits or more.
bool HugeWidths(const std::string& source) {
    size_t digits = 0;
    for (const char c : source) {
        if (c == '*') return true;
        digits = c >= '0' && c <= '9' ? digits + 1 : 0;
        if (digits >= 5) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    DWORD flags = FORMAT_MESSAGE_FROM_STRING;
    if (data.ConsumeBool()) flags |= data.ConsumeIntegral<uint8_t>();  // a line width
    if (data.ConsumeBool()) flags |= FORMAT_MESSAGE_IGNORE_INSERTS;
    const bool useList = data.ConsumeBool();
    if (!useList) flags |= FORMAT_MESSAGE_ARGUMENT_ARRAY;
    const DWORD bufferSize = data.ConsumeIntegralInRange<DWORD>(0, 600);
    const bool allocate = data.ConsumeBool();
    const std::string narrow = data.ConsumeRemainingBytesAsString();
    const std::string source = narrow.substr(0, narrow.find('\0'));
    const std::u16string wide(source.begin(), source.end());

    const std::u16string wideText = IntoBuffer<char16_t>(flags, wide, bufferSize, useList);
    const std::string ansiText = IntoBuffer<char>(flags, source, bufferSize, useList);
    // Without inserts nothing is converted: both forms make the same text
    // (unless wrapping, where the W form needs room for the line before it
    // breaks).
    const DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if ((flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0 && (width == 0 || width == FORMAT_MESSAGE_MAX_WIDTH_MASK))
        FUZZ_CHECK(wideText == std::u16string(ansiText.begin(), ansiText.end()));
    // Widths in the millions (a '*' width from a pointer is huge) meet the W
    // form's block bound slowly rather than wrongly: the caller's buffers
    // take those.
    if (allocate) {
        IntoBlock<char>(flags, source, bufferSize, useList);
        if (!HugeWidths(source)) IntoBlock<char16_t>(flags, wide, bufferSize, useList);
    }
    return 0;
}
