#include <string>

#include <gtest/gtest.h>

#include "ZAVPlatform.h"

namespace {

const DWORD kArray = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;

// Formats with an argument array into a caller's buffer; "<failed>" on failure.
std::u16string Format(const char16_t* text, std::initializer_list<DWORD_PTR> values, DWORD extraFlags = 0) {
    std::vector<DWORD_PTR> array(values);
    array.resize(array.size() + 8, 0);
    WCHAR buffer[512];
    const DWORD n = FormatMessageW(kArray | extraFlags, text, 0, 0, buffer, 512, reinterpret_cast<va_list*>(array.data()));
    return n == 0 ? u"<failed>" : std::u16string(buffer, n);
}

DWORD_PTR W(const char16_t* s) { return reinterpret_cast<DWORD_PTR>(s); }
DWORD_PTR A(const char* s) { return reinterpret_cast<DWORD_PTR>(s); }

TEST(FormatMessage, InsertsAndEscapes) {
    EXPECT_EQ(Format(u"%1 and %2", {W(u"first"), W(u"second")}), u"first and second");
    EXPECT_EQ(Format(u"%2%1%2", {W(u"a"), W(u"b")}), u"bab");
    EXPECT_EQ(Format(u"line%nnext%ttab %% %. %! % x", {}), u"line\r\nnext\ttab % . ! " u" x");
    EXPECT_EQ(Format(u"kept%0dropped", {}), u"kept");
    EXPECT_EQ(Format(u"cr%rend", {}), u"cr\rend");
    EXPECT_EQ(Format(u"two\r\nlines", {}), u"two\r\nlines");
    EXPECT_EQ(Format(u"%10", {W(u"1"), W(u"2"), W(u"3"), W(u"4"), W(u"5"), W(u"6"), W(u"7"), W(u"8"), W(u"9"),
                             W(u"ten")}),
              u"ten");
    EXPECT_EQ(Format(u"%1 left alone", {}, FORMAT_MESSAGE_IGNORE_INSERTS), u"%1 left alone");
    EXPECT_EQ(Format(u"%1!5d! kept", {}, FORMAT_MESSAGE_IGNORE_INSERTS), u"%1!5d! kept");
    EXPECT_EQ(Format(u"null %1", {0}), u"null (null)");
}

TEST(FormatMessage, PrintfSpecs) {
    EXPECT_EQ(Format(u"%1!d!|%2!u!|%3!x!|%4!X!|%5!o!", {DWORD_PTR(static_cast<DWORD>(-5)), 7, 255, 255, 8}),
              u"-5|7|ff|FF|10");
    EXPECT_EQ(Format(u"[%1!5d!][%1!-5d!][%1!05d!][%1!+d!][%1!.3d!]", {42}), u"[   42][42   ][00042][+42][042]");
    EXPECT_EQ(Format(u"%1!#x! %1!#o!", {8}), u"0x8 010");
    EXPECT_EQ(Format(u"%1!I64d!", {static_cast<DWORD_PTR>(-9000000000LL)}), u"-9000000000");
    EXPECT_EQ(Format(u"%1!lu!", {0xFFFFFFFFu}), u"4294967295");
    EXPECT_EQ(Format(u"[%1!-6s!][%2!4s!][%3!.2s!]", {W(u"ab"), W(u"cd"), W(u"efgh")}), u"[ab    ][  cd][ef]");
    EXPECT_EQ(Format(u"%1!S! %2!hs! %3!ls!", {A("narrow"), A("also"), W(u"wide")}), u"narrow also wide");
    EXPECT_EQ(Format(u"%1!c!%2!C!", {'W', 'n'}), u"Wn");
    EXPECT_EQ(Format(u"[%1!*d!]", {4, 7}), u"[   7]");
    EXPECT_EQ(Format(u"%1!q!", {1}), u"<failed>");
    EXPECT_EQ(Format(u"%1!d", {1}), u"<failed>");
}

TEST(FormatMessage, BuffersSourcesAndVaList) {
    DWORD_PTR args[] = {W(u"x"), 0};
    WCHAR* allocated = nullptr;
    DWORD n = FormatMessageW(kArray | FORMAT_MESSAGE_ALLOCATE_BUFFER, u"value %1", 0, 0,
                             reinterpret_cast<LPWSTR>(&allocated), 80, reinterpret_cast<va_list*>(args));
    ASSERT_EQ(n, 7u);
    EXPECT_EQ(std::u16string(allocated), u"value x");
    EXPECT_EQ(LocalFree(allocated), nullptr);

    WCHAR small[4];
    EXPECT_EQ(FormatMessageW(kArray, u"too long", 0, 0, small, 4, reinterpret_cast<va_list*>(args)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    // Without a source there is no message: no tables here.
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0,
                             reinterpret_cast<LPWSTR>(&allocated), 80, nullptr),
              0u);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, small, 4, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    // An insert with no argument list fails; an empty template gives nothing.
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, u"%1", 0, 0, small, 4, nullptr), 0u);
    allocated = reinterpret_cast<WCHAR*>(1);
    EXPECT_EQ(FormatMessageW(kArray | FORMAT_MESSAGE_ALLOCATE_BUFFER, u"", 0, 0, reinterpret_cast<LPWSTR>(&allocated),
                             80, nullptr),
              0u);
    EXPECT_EQ(allocated, nullptr);

    // A line width folds the source's line breaks into blanks and wraps.
    WCHAR wrapped[64];
    n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | 10, u"alpha beta\r\ngamma delta", 0, 0, wrapped, 64, nullptr);
    EXPECT_EQ(std::u16string(wrapped, n), u"alpha beta\r\ngamma\r\ndelta");
    n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_MAX_WIDTH_MASK, u"a\r\nb%nc", 0, 0, wrapped, 64,
                       nullptr);
    EXPECT_EQ(std::u16string(wrapped, n), u"a b\r\nc");
}

DWORD FromVaList(WCHAR* out, DWORD size, const char16_t* text, ...) {
    va_list list;
    va_start(list, text);
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING, text, 0, 0, out, size, &list);
    va_end(list);
    return n;
}

TEST(FormatMessage, VaListAndAnsiForm) {
    WCHAR out[64];
    const DWORD n = FromVaList(out, 64, u"%1 is %2!d! or %3!#x!", u"answer", 42, 255);
    EXPECT_EQ(std::u16string(out, n), u"answer is 42 or 0xff");

    // In the ANSI form !s! is narrow and !S! wide.
    DWORD_PTR args[] = {A("bytes"), W(u"units"), 0};
    char narrow[64];
    const DWORD m = FormatMessageA(kArray, "%1 %2!S!%n", 0, 0, narrow, 64, reinterpret_cast<va_list*>(args));
    EXPECT_EQ(std::string(narrow, m), "bytes units\r\n");
}

}  // namespace
