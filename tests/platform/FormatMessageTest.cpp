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

#include "TestSupport.h"
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
    // The escapes; under a line width (the mask: no wrapping) each source
    // line break, CR CR LF two, becomes a blank.
    {kString, "[%%][%%%%]%.%! %   end", "[%][%%].!    end"},
    {kString | kNoWrap, "a\r\nb\nc\r\r\nd%ne", "a b c  d\r\ne"},
    // Ignoring inserts keeps all but four escapes.
    {kIgnore, "%%, % , %. and %!, %q%1!d!", "%%, % , %. and %!, %q%1!d!"},
    {kIgnore, "%n|%r|%t|a\rb\nc|cut%0%1", "\r\n|\r|\t|a\r\nb\r\nc|cut"},
    // Lines stay shorter than the width and break at their last blank, not
    // at a tab; blanks alone leave only the breaks of the lines they fill.
    {kString | 4, "          ", "\r\n\r\n  "},
    {kString | 8, "ab cd\tefgh", "ab\r\ncd\tefgh"},
    // Refused: a lone % at the end, a printf format left open, unknown or
    // empty, digits past the runtime's int; a template cut to nothing at once
    // is no work done.
    {kIgnore, "text%", "", kInvalid},
    {kArray, "%1!d", "", kInvalid},
    {kArray, "%1!q!", "", kInvalid},
    {kArray, "%1!!", "", kInvalid},
    {kArray, "%1!2147483648d!", "", kInvalid},
    {kArray, "%1!.184467440737095516160d!", "", kInvalid},
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
        {u"%1|%10|%100", {0, 0, 0, 0, 0, 0, 0, 0, 0, Wide(u"ten")}, u"(null)|ten|ten0"},
        {u"%1!d!|%2!u!|%3!x!|%4!X!|%5!o!", {DWORD_PTR(DWORD(-5)), 7, 255, 255, 8}, u"-5|7|ff|FF|10"},
        {u"[%1!5d!][%1!-5d!][%1!05d!][%1!+d!][%1!.3d!][%1! d!]", {42}, u"[   42][42   ][00042][+42][042][ 42]"},
        {u"[%1!#x!][%1!#o!][%2!#x!][%2!.0d!]", {8, 0}, u"[0x8][010][0][]"},
        {u"[%1!-6s!][%2!4s!][%3!.2s!][%3!04.1s!]",
         {Wide(u"ab"), Wide(u"cd"), Wide(u"efgh")},
         u"[ab    ][  cd][ef][000e]"},
        {u"%1!c!%2!C!%3!hc!%4!lc!", {'W', 'n', 'h', 'l'}, u"Wnhl"},
        // Inserted text wraps like the template's own.
        {u"%1!10s!x", {Wide(u"v")}, u"\r\n\r\n vx", 4}};
    for (const auto& c : cases) EXPECT_EQ(Format<char16_t>(kString | c.width, c.source, c.values).text(), c.expected);
    // In the A form !s! and !c! are narrow and the upper case wide.
    EXPECT_EQ(Format<char>(kString, "%1 %2!S! %3!c!%4!C!%n", {Narrow("bytes"), Wide(u"units"), 'a', 'b'}).text(),
              "bytes units ab\r\n");
}

// FormatMessageW with the arguments after the source as its va_list.
std::u16string FromVaList(const char16_t* source, ...) {
    va_list list;
    va_start(list, source);
    const Outcome<char16_t> outcome = Format<char16_t>(kString, source, {}, 512, &list);
    va_end(list);
    return outcome.text();
}

TEST(FormatMessage, VaListArgumentsAreNumberedAsWindowsDoes) {
    // '*' takes the insert's own number, then the next argument; the value
    // is read into the last '*' slot.
    EXPECT_EQ(FromVaList(u"[%1!*.*d!][%3!*.*d!]", 4, 2, 7, 5, 3, 9), u"[  07][  009]");
    EXPECT_EQ(FromVaList(u"%1!I64u!|%2!I64d!", 18446744073709551615ull, -5ll), u"18446744073709551615|-5");
}

TEST(FormatMessage, BuffersTooSmallAllocatedOrPastTheBounds) {
    // W: what fits and a terminator; A: nothing.
    for (const auto& [size, wide] : std::vector<std::pair<DWORD, std::u16string>>{
             {0, u""}, {4, std::u16string(u"mes\0", 4)}, {7, std::u16string(u"messag\0", 7)}}) {
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
    const std::vector<DWORD_PTR> values = {Wide(u"v"), 5, DWORD_PTR(DWORD(INT_MIN)), 3};  // "v" narrow too
    for (const DWORD width : {0u, 8u})
        for (const std::string source : {"%1!2147483647s!", "%2!.2147483647d!", "%3!*d!", "%2!-999999999d!"}) {
            const Outcome<char16_t> direct = Format<char16_t>(kString | width, Widen(source).c_str(), values, 64);
            const Outcome<char16_t> allocated =
                Format<char16_t>(kString | width | kAllocate, Widen(source).c_str(), values, 0);
            const Outcome<char> ansi = Format<char>(kString | width, source.c_str(), values);
            EXPECT_EQ(std::make_tuple(direct.error, direct.buffer[63], allocated.buffer, allocated.error, ansi.error),
                      std::make_tuple(DWORD(ERROR_INSUFFICIENT_BUFFER), u'\0', std::u16string(u"<null>"),
                                      DWORD(ERROR_MORE_DATA), DWORD(ERROR_INVALID_PARAMETER)));
        }
}

}  // namespace
