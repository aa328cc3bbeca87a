// The message-format language, failures, buffers and bounds of the
// stand-in's FormatMessageW/A, checked against what Windows does (as Wine's
// conformance tests record it).
#include <limits.h>
#include <stdarg.h>
#include <string.h>

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "WString.h"
#include "ZAVPlatform.h"

namespace {

const DWORD kString = FORMAT_MESSAGE_FROM_STRING, kIgnore = kString | FORMAT_MESSAGE_IGNORE_INSERTS;
const DWORD kArray = kString | FORMAT_MESSAGE_ARGUMENT_ARRAY, kAllocate = FORMAT_MESSAGE_ALLOCATE_BUFFER;
DWORD_PTR Wide(const char16_t* text) { return reinterpret_cast<DWORD_PTR>(text); }
DWORD_PTR Narrow(const char* text) { return reinterpret_cast<DWORD_PTR>(text); }
template <typename Char>
std::basic_string<Char> Of(const std::string& s) {
    return {s.begin(), s.end()};
}

// What a call did: its result, last error and the whole buffer, which holds
// 'x' before the call; allocated, the block's text or "<null>" when the
// pointer was cleared.
template <typename Char>
struct Outcome {
    DWORD result, error;
    std::basic_string<Char> buffer;
    std::basic_string<Char> text() const { return buffer.substr(0, result); }
};

// With the values (padded with nulls) as the argument array, if any.
template <typename Char>
Outcome<Char> Format(DWORD flags, const Char* source, std::vector<DWORD_PTR> values = {}, DWORD size = 512,
                     va_list* arguments = nullptr) {
    std::basic_string<Char> buffer(size, 'x');
    Char *const unset = reinterpret_cast<Char*>(1), *block = unset;
    Char* out = flags & kAllocate ? reinterpret_cast<Char*>(&block) : &buffer[0];
    values.resize(values.empty() ? 0 : values.size() + 8, 0);
    if (!values.empty()) flags |= FORMAT_MESSAGE_ARGUMENT_ARRAY, arguments = reinterpret_cast<va_list*>(values.data());
    SetLastError(0xDEADBEEF);
    DWORD result;
    if constexpr (sizeof(Char) == 1)
        result = FormatMessageA(flags, source, 0, 0, out, size, arguments);
    else
        result = FormatMessageW(flags, source, 0, 0, out, size, arguments);
    const DWORD error = GetLastError();
    if (flags & kAllocate) {
        buffer = block == nullptr ? Of<Char>("<null>")
                 : block == unset ? Of<Char>("<unset>")
                                  : buffer.assign(block, result);
        if (block != nullptr && block != unset) LocalFree(block);
    }
    return {result, error, buffer};
}

// A template run through the A and W forms and, allocated, the W form;
// under the argument array every insert is "a" in both forms (u"a" reads as
// "a" narrow too). It answers the text, or fails with the error: the A form
// and the allocated pointer are left alone, empty output is terminated.
struct Template {
    DWORD flags;
    std::string source, expected;
    DWORD error = 0;
};

const DWORD kNoWrap = FORMAT_MESSAGE_MAX_WIDTH_MASK, kInvalid = ERROR_INVALID_PARAMETER;

const Template kTemplates[] = {
    // Every source line break becomes CR LF (CR CR LF two), under a line
    // width (the mask: no wrapping) a blank.
    {kString, "[%%][%%%%]%.%! %   end", "[%][%%].!    end"},
    {kString, "line%nnext%rcr%ttab%0dropped", "line\r\nnext\rcr\ttab"},
    {kString, "a\nb\rc\r\r\nd", "a\r\nb\r\nc\r\n\r\nd"},
    {kString | kNoWrap, "a\r\nb\nc\r\r\nd%ne", "a b c  d\r\ne"},
    // Ignoring inserts keeps all but four escapes.
    {kIgnore, "%1 and %2!*.*s! and %99", "%1 and %2!*.*s! and %99"},
    {kIgnore, "%%, % , %. and %!, %q%1!d!", "%%, % , %. and %!, %q%1!d!"},
    {kIgnore, "%n|%r|%t|a\rb\nc|cut%0%1", "\r\n|\r|\t|a\r\nb\r\nc|cut"},
    {kIgnore | 7, "one two%1 three", "one\r\ntwo%1\r\nthree"},
    // Lines stay shorter than the width and break at their last blank; the
    // blanks before a break go, those after it stay on the next line. A word
    // that fills the line, or more, breaks after the last unit that fits. %n
    // and %r start a new line; only blanks break, and a source break is one.
    {kString | 12, "alpha beta gamma", "alpha beta\r\ngamma"},
    {kString | 9, "one two     three", "one two\r\n   three"},
    {kString | 4, "          ", "\r\n\r\n  "},
    {kString | 6, "abcdef", "abcdef\r\n"},
    {kString | 6, "abcdefgh", "abcdef\r\ngh"},
    {kString | 8, "ab%rcdefg hi", "ab\rcdefg\r\nhi"},
    {kString | 8, "ab cd\tefgh", "ab\r\ncd\tefgh"},
    {kString | 8, "one\ntwo three", "one two\r\nthree"},
    // Digits of width and precision may not pass the runtime's int, and a
    // template needs its source form named.
    {kString, "text%", "", kInvalid},
    {kString, "%1", "", kInvalid},
    {kIgnore, "text%", "", kInvalid},
    {kArray, "%1!d", "", kInvalid},
    {kArray, "%1!q!", "", kInvalid},
    {kArray, "%1!!", "", kInvalid},
    {kArray, "%1!2147483648d!", "", kInvalid},
    {kArray, "%1!.184467440737095516160d!", "", kInvalid},
    {0, "text", "", kInvalid},
    {kIgnore, "", "", ERROR_NO_WORK_DONE},
    {kIgnore, "%0text", "", ERROR_NO_WORK_DONE}};

TEST(FormatMessage, TemplatesInBothForms) {
    for (const Template& t : kTemplates) {
        SCOPED_TRACE("\"" + t.source + "\"");
        const std::vector<DWORD_PTR> values(t.flags & FORMAT_MESSAGE_ARGUMENT_ARRAY ? 8 : 0, Wide(u"a"));
        const Outcome<char> ansi = Format<char>(t.flags, t.source.c_str(), values);
        const Outcome<char16_t> wide = Format<char16_t>(t.flags, Widen(t.source).c_str(), values);
        const Outcome<char16_t> allocated = Format<char16_t>(t.flags | kAllocate, Widen(t.source).c_str(), values, 0);
        EXPECT_EQ(std::make_tuple(ansi.text(), wide.text(), allocated.buffer),
                  std::make_tuple(t.expected, Widen(t.expected), t.error == 0 ? Widen(t.expected) : u"<null>"));
        if (t.error == 0) {
            EXPECT_EQ(wide.buffer[wide.result], 0) << "a terminator";
            continue;
        }
        EXPECT_EQ(std::make_tuple(ansi.error, ansi.buffer, wide.error, allocated.error),
                  std::make_tuple(t.error, std::string(512, 'x'), t.error, t.error));
        EXPECT_TRUE(t.error != ERROR_NO_WORK_DONE || wide.buffer.substr(0, 2) == std::u16string(u"\0x", 2));
    }
    // The W form has written what came before the fault, without a terminator.
    EXPECT_EQ(Format<char16_t>(kString, u"text%", {}, 8).buffer, u"textxxxx");
    EXPECT_EQ(Format<char16_t>(kString, u"%1", {Wide(u"")}).error, static_cast<DWORD>(ERROR_NO_WORK_DONE));
    EXPECT_EQ(Format<char16_t>(FORMAT_MESSAGE_FROM_SYSTEM | kAllocate, nullptr).error,
              static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(FormatMessage, InsertsAndPrintfFormats) {
    const struct {
        const char16_t* source;
        std::vector<DWORD_PTR> values;
        std::u16string expected;
        DWORD width = 0;
    } cases[] = {
        {u"%10|%100", {0, 0, 0, 0, 0, 0, 0, 0, 0, Wide(u"ten")}, u"ten|ten0"},
        {u"%1!d!|%2!u!|%3!x!|%4!X!|%5!o!", {DWORD_PTR(DWORD(-5)), 7, 255, 255, 8}, u"-5|7|ff|FF|10"},
        {u"[%1!5d!][%1!-5d!][%1!05d!][%1!+d!][%1!.3d!][%1! d!]", {42}, u"[   42][42   ][00042][+42][042][ 42]"},
        {u"[%1!#x!][%1!#o!][%2!#x!][%2!.0d!]", {8, 0}, u"[0x8][010][0][]"},
        {u"%1!hd! %1!hhd! %1!hu!", {0x1FFFF}, u"-1 -1 65535"},
        {u"[%1!-6s!][%2!4s!][%3!.2s!][%3!04.1s!]",
         {Wide(u"ab"), Wide(u"cd"), Wide(u"efgh")},
         u"[ab    ][  cd][ef][000e]"},
        {u"%1!c!%2!C!%3!hc!%4!lc!", {'W', 'n', 'h', 'l'}, u"Wnhl"},
        // '*' in the array form: the insert's number, then on from the highest used.
        {u"[%1!*.*d!][%1!*.*d!]", {7, 3, 4, 6, 2, 8}, u"[    004][ 000002]"},
        // A negative '*' width justifies to the left; a negative precision is none.
        {u"[%1!*d!][%3!.*d!]", {DWORD_PTR(DWORD(-4)), 7, DWORD_PTR(DWORD(-1)), 5}, u"[7   ][5]"},
        // Inserted text wraps like the template's own.
        {u"%1!10s!x", {Wide(u"v")}, u"\r\n\r\n vx", 4}};
    for (const auto& c : cases) EXPECT_EQ(Format<char16_t>(kString | c.width, c.source, c.values).text(), c.expected);
    // In the A form !s! and !c! are narrow and the upper case wide.
    EXPECT_EQ(Format<char>(kString, "%1 %2!S! %3!c!%4!C!%n", {Narrow("bytes"), Wide(u"units"), 'a', 'b'}).text(),
              "bytes units ab\r\n");
}

// FormatMessageW with the arguments after the source as its va_list, into
// size units; *next: the argument the call left next.
Outcome<char16_t> FromVaList(DWORD size, const char16_t** next, const char16_t* source, ...) {
    va_list list;
    va_start(list, source);
    const Outcome<char16_t> outcome = Format<char16_t>(kString, source, {}, size, &list);
    if (next != nullptr) *next = va_arg(list, const char16_t*);
    va_end(list);
    return outcome;
}

TEST(FormatMessage, VaListArgumentsAreNumberedAsWindowsDoesAndStopAtTheOverflow) {
    // '*' takes the insert's own number, then the next argument; the value
    // is read into the last '*' slot.
    EXPECT_EQ(FromVaList(512, nullptr, u"[%1!*s!]", 3, u"v").text(), u"[  v]");
    EXPECT_EQ(FromVaList(512, nullptr, u"[%1!*.*d!][%1!*.*d!]", 6, 2, 7, 3, 9).text(), u"[    07][   009]");
    EXPECT_EQ(FromVaList(512, nullptr, u"[%1!*.*d!][%3!*.*d!]", 4, 2, 7, 5, 3, 9).text(), u"[  07][  009]");
    EXPECT_EQ(FromVaList(512, nullptr, u"%1!I64u!|%2!I64d!", 18446744073709551615ull, -5ll).text(),
              u"18446744073709551615|-5");
    const char16_t *first = nullptr, *second = nullptr;
    for (const Outcome<char16_t>& c : {FromVaList(1, &first, u"%1 %2", u"read", u"left", u""),
                                       FromVaList(1, &second, u"%1!5d! %2 %3", 7, u"left", u"third")}) {
        EXPECT_EQ(c.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(c.buffer, std::u16string(1, 0));
    }
    // Arguments stop being read at the overflow.
    EXPECT_EQ(std::u16string(first) + u"|" + second, u"left|left");
}

TEST(FormatMessage, BuffersTooSmallAllocatedOrPastTheBounds) {
    // W: what fits and a terminator; A: nothing.
    for (const auto& [size, wide] :
         std::vector<std::pair<DWORD, std::u16string>>{{0, u""},
                                                       {1, std::u16string(1, 0)},
                                                       {4, std::u16string(u"mes\0", 4)},
                                                       {7, std::u16string(u"messag\0", 7)}}) {
        const Outcome<char16_t> w = Format<char16_t>(kString, u"message", {}, size);
        const Outcome<char> a = Format<char>(kString, "message", {}, size);
        EXPECT_EQ(std::make_tuple(w.error, w.buffer, a.error, a.buffer),
                  std::make_tuple(DWORD(ERROR_INSUFFICIENT_BUFFER), wide, DWORD(ERROR_INSUFFICIENT_BUFFER),
                                  std::string(size, 'x')));
    }
    // The A form has a 32K limit, the W form none.
    for (const size_t length : {size_t(32766), size_t(32767), size_t(40000)}) {
        const std::string text(length, 'a');
        const DWORD expected = length < 32767 ? DWORD(length) : 0, size = DWORD(length + 1);
        const Outcome<char> direct = Format<char>(kString, text.c_str(), {}, size);
        EXPECT_EQ(direct.result, expected) << length;
        EXPECT_EQ(direct.error == ERROR_INVALID_PARAMETER, expected == 0);
        EXPECT_EQ(Format<char>(kString, "%1", {Narrow(text.c_str())}, size).result, expected) << length;
        EXPECT_EQ(Format<char>(kString | kAllocate, text.c_str()).buffer, expected != 0 ? text : "<null>");
    }
    // Huge widths: into the caller's buffer as much as fits; allocated, the W
    // form's bound, not gigabytes; the A form's 32K limit. Under a line width
    // blanks shrink to line breaks, but still meet the bound soon.
    for (const DWORD width : {0u, 8u})
        for (const char16_t* source : {u"%1!2147483647s!", u"%2!.2147483647d!", u"%3!*d!", u"%2!-999999999d!"}) {
            const std::vector<DWORD_PTR> values = {Wide(u"v"), 5, DWORD_PTR(DWORD(INT_MIN)), 3};  // "v" narrow too
            const Outcome<char16_t> direct = Format<char16_t>(kString | width, source, values, 64);
            const Outcome<char16_t> allocated = Format<char16_t>(kString | width | kAllocate, source, values, 0);
            const std::string ansiSource(source, source + std::char_traits<char16_t>::length(source));
            const Outcome<char> ansi = Format<char>(kString | width, ansiSource.c_str(), values);
            EXPECT_EQ(std::make_tuple(direct.error, direct.buffer[63], allocated.buffer, allocated.error, ansi.error),
                      std::make_tuple(DWORD(ERROR_INSUFFICIENT_BUFFER), u'\0', std::u16string(u"<null>"),
                                      DWORD(ERROR_MORE_DATA), DWORD(ERROR_INVALID_PARAMETER)));
        }
}

}  // namespace
