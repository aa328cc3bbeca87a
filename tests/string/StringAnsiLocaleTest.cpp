// ANSI conversion of ZAVString under POSIX locales.
#include <locale.h>

#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

// Under the default "C" locale each unit up to U+00FF is its own byte, far
// into a long line too, where conversion runs many units at a time; a
// surrogate pair is one '?', a lone one too: in the string and in the
// stand-in's "A" calls alike.
TEST(StringAnsi, TheCLocaleTakesEachUnitUpToFFAsItsByte) {
    WString line(40, ZAV_TEXT('x'));
    line += {0xE9, 0xD83D, 0xDE00, ZAV_TEXT('y'), 0xDC00};
    const std::string bytes = ZAVString(line.c_str()).ANSIString();
    EXPECT_EQ(std::string(40, 'x') + "\xE9?y?", bytes);
    const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(line.c_str()), 0};
    char buffer[64] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1!S!", 0, 0, buffer, sizeof buffer,
                   reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
    EXPECT_EQ(bytes, buffer);
}

// The thread's locale decides, not the process's: both ways, with surrogate
// pairs; broken bytes read as U+FFFD, a unit with no encoding writes '?';
// counts are in converted characters.
TEST(StringAnsi, AUtf8LocaleOfTheThreadConvertsItsEncoding) {
    const locale_t utf8 = newlocale(LC_ALL_MASK, "C.UTF-8", nullptr);
    if (utf8 == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    const locale_t previous = uselocale(utf8);
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
        EXPECT_EQ(ZAV_TEXT("a") + WString(c.wide), Text(ZAVString("a").append(c.bytes))) << c.bytes;
        EXPECT_STREQ(c.back != nullptr ? c.back : c.bytes, ZAVString(c.wide).ANSIString());
    }
    EXPECT_EQ(ZAV_TEXT("\u00E9"), Text(ZAVString("\xC3\xA9\xC3\xA9", 1)));
    const WCHAR lone[] = {ZAV_TEXT('x'), 0xD800, ZAV_TEXT('y'), 0};
    EXPECT_STREQ("x?y", ZAVString(lone).ANSIString());
    uselocale(previous);
    freelocale(utf8);
}

}  // namespace
