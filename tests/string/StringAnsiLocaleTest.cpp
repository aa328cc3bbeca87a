// ANSI conversion of ZAVString under POSIX locales: the default one and a
// UTF-8 one, alike in the string and the stand-in's "A" calls.
#include <locale.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "WString.h"

namespace {

// Puts this thread under a locale for the test's duration.
struct UnderLocale {
    explicit UnderLocale(const char* name)
        : locale(newlocale(LC_ALL_MASK, name, nullptr)), previous(locale ? uselocale(locale) : nullptr) {}
    ~UnderLocale() {
        if (locale != nullptr) uselocale(previous), freelocale(locale);
    }
    locale_t locale, previous;
};

// The stand-in's "A" calls and ZAVString convert alike: FormatMessage's
// inserts of the other width are the stand-in's conversion.
std::string ThroughTheStandIn(const WCHAR* text) {
    const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(text), 0};
    char buffer[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1!S!", 0, 0, buffer,
                                   sizeof buffer, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
    return std::string(buffer, n);
}

WString ThroughTheStandIn(const char* text) {
    const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(text), 0};
    WCHAR buffer[256] = {};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, ZAV_TEXT("%1!hs!"), 0, 0,
                                   buffer, 256, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
    return WString(buffer, n);
}

void ExpectOneConversion() {
    const WCHAR pair[] = {ZAV_TEXT('a'), 0xD83D, 0xDE00, ZAV_TEXT('b'), 0};
    const WCHAR lone[] = {ZAV_TEXT('x'), 0xDC00, ZAV_TEXT('y'), 0};
    const WCHAR* const texts[] = {ZAV_TEXT("plain"), ZAV_TEXT("\u00E9t\u00E9 \u20AC"), pair, lone};
    for (size_t i = 0; i < sizeof texts / sizeof texts[0]; ++i)
        EXPECT_EQ(ThroughTheStandIn(texts[i]), std::string(ZAVString(texts[i]).ANSIString())) << "text " << i;
    for (const char* bytes : {"plain", "\xC3\xA9t\xC3\xA9", "\xE9t\xE9 \xFF", "\xF0\x9F\x98\x80"})
        EXPECT_EQ(ThroughTheStandIn(bytes), Text(ZAVString(bytes))) << bytes;
}

// The thread's locale decides, never the process's, on both sides.
TEST(StringAnsi, TheStringAndTheStandInConvertAlikeUnderTheThreadsLocale) {
    const std::string processLocale = setlocale(LC_ALL, nullptr);
    {
        UnderLocale utf8("C.UTF-8");
        if (utf8.locale == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
        ExpectOneConversion();
    }
    ASSERT_NE(nullptr, setlocale(LC_ALL, "C.UTF-8"));
    {
        UnderLocale c("C");  // every byte is the character of its value
        std::string bytes;
        WString units;
        for (int b = 1; b < 256; ++b) bytes += static_cast<char>(b), units += static_cast<WCHAR>(b);
        EXPECT_EQ(units, Text(ZAVString(bytes.c_str())));
        EXPECT_EQ(bytes, ZAVString(units.c_str()).ANSIString());
        // Far into a long line, where conversion runs many units at a time: a
        // surrogate pair is one '?', a lone one too.
        const WString line = WString(40, ZAV_TEXT('x')) + WString{0xD83D, 0xDE00, ZAV_TEXT('y'), 0xDC00};
        EXPECT_EQ(std::string(40, 'x') + "?y?", ZAVString(line.c_str()).ANSIString());
        ExpectOneConversion();
    }
    setlocale(LC_ALL, processLocale.c_str());
    ExpectOneConversion();
}

// Both ways, with surrogate pairs; broken bytes read as U+FFFD, a unit
// with no encoding writes '?'.
TEST(StringAnsi, AUtf8LocaleConvertsItsEncoding) {
    UnderLocale utf8("C.UTF-8");
    if (utf8.locale == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    const struct {
        const char* bytes;
        const WCHAR* wide;
        const char* back;  // null: the bytes
    } cases[] = {
        {"\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80", ZAV_TEXT("\u00E9t\u00E9 \U0001F600"), nullptr},
        // Three bytes per character: more than twice the length plus two.
        {"\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97\xE4\xB8\xAD\xE6\x96\x87", ZAV_TEXT("\u4E2D\u6587\u5B57\u4E2D\u6587"), nullptr},
        {"a\xFF" "b\xC3", ZAV_TEXT("a\uFFFDb\uFFFD"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.wide, Text(ZAVString(c.bytes))) << c.bytes;
        EXPECT_STREQ(c.back != nullptr ? c.back : c.bytes, ZAVString(c.wide).ANSIString());
    }
    EXPECT_EQ(ZAV_TEXT("a\u20AC"), Text(ZAVString("a").append("\xE2\x82\xAC")));  // three bytes, one character
    EXPECT_EQ(ZAV_TEXT("\u00E9"), Text(ZAVString("\xC3\xA9\xC3\xA9", 1)));
    const WCHAR lone[] = {ZAV_TEXT('x'), 0xD800, ZAV_TEXT('y'), 0};
    EXPECT_STREQ("x?y", ZAVString(lone).ANSIString());
}

}  // namespace
