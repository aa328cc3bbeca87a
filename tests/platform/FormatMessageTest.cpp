// The message-format language of the stand-in's FormatMessageW/A, checked
// against what Windows does (as Wine's conformance tests record it).
#include <gtest/gtest.h>

#include "FormatMessageSupport.h"

namespace {

using namespace formatmessage;

struct TextCase {
    DWORD flags;
    const char* source;
    const char* expected;
};

// Runs a case without arguments through both forms.
void ExpectBothForms(const TextCase& c) {
    const Outcome<char> ansi = Call<char>(c.flags, c.source, 512, nullptr);
    EXPECT_EQ(ansi.text(), c.expected) << "A form of \"" << c.source << "\"";
    EXPECT_EQ(ansi.result, strlen(c.expected));
    const std::u16string source = Widen(c.source);
    const Outcome<char16_t> wide = Call<char16_t>(c.flags, source.c_str(), 512, nullptr);
    EXPECT_EQ(wide.text(), Widen(c.expected)) << "W form of \"" << c.source << "\"";
    EXPECT_EQ(wide.buffer[wide.result], 0) << "terminator after \"" << c.source << "\"";
}

TEST(FormatMessage, EscapesAndSourceLineBreaks) {
    const TextCase cases[] = {
        {kString, "plain", "plain"},
        {kString, "[%%][%%%%]", "[%][%%]"},
        {kString, "%.%! %   end", ".!    end"},
        {kString, "line%nnext%rcr%ttab", "line\r\nnext\rcr\ttab"},
        {kString, "kept%0dropped", "kept"},
        {kString, "%qx", "qx"},
        // Every source line break becomes CR LF: LF, CR, CR LF, and CR CR LF as two.
        {kString, "a\nb", "a\r\nb"},
        {kString, "a\rb", "a\r\nb"},
        {kString, "a\r\nb", "a\r\nb"},
        {kString, "a\r\r\nb", "a\r\n\r\nb"},
        {kString, "\n\n", "\r\n\r\n"},
        // Under a line width (the mask: no wrapping) a source break is a blank.
        {kString | FORMAT_MESSAGE_MAX_WIDTH_MASK, "a\nb", "a b"},
        {kString | FORMAT_MESSAGE_MAX_WIDTH_MASK, "a\r\r\nb", "a  b"},
        {kString | FORMAT_MESSAGE_MAX_WIDTH_MASK, "a\r\nb%nc", "a b\r\nc"},
    };
    for (const TextCase& c : cases) ExpectBothForms(c);
}

TEST(FormatMessage, IgnoreInsertsKeepsAllButFourEscapes) {
    const TextCase cases[] = {
        {kIgnore, "%1 and %2!*.*s! and %99", "%1 and %2!*.*s! and %99"},
        {kIgnore, "%%, % , %. and %!", "%%, % , %. and %!"},
        {kIgnore, "%q%1!d!", "%q%1!d!"},
        {kIgnore, "%n|%r|%t", "\r\n|\r|\t"},
        {kIgnore, "cut%0%1", "cut"},
        {kIgnore, "a\rb\nc", "a\r\nb\r\nc"},
        {kIgnore | FORMAT_MESSAGE_MAX_WIDTH_MASK, "a\r\nb", "a b"},
        {kIgnore | 7, "one two%1 three", "one\r\ntwo%1\r\nthree"},
    };
    for (const TextCase& c : cases) ExpectBothForms(c);
}

TEST(FormatMessage, WrapsAtTheWidth) {
    const TextCase cases[] = {
        // Lines stay shorter than the width and break at their last blank.
        {kString | 12, "alpha beta gamma", "alpha beta\r\ngamma"},
        {kString | 10, "alpha beta gamma", "alpha\r\nbeta\r\ngamma"},
        {kString | 20, "alpha beta gamma", "alpha beta gamma"},
        // The blanks before a break go; those after it stay on the next line.
        {kString | 9, "one two     three", "one two\r\n   three"},
        {kString | 4, "          ", "\r\n\r\n  "},
        {kString | 6, "   abcd", "\r\nabcd"},
        // A word that fills the line, or more, breaks after the last unit that fits.
        {kString | 6, "abcdef", "abcdef\r\n"},
        {kString | 6, "abcdefgh", "abcdef\r\ngh"},
        {kString | 6, "abcdef%n", "abcdef\r\n\r\n"},
        // %n and %r start a new line, so the count starts again.
        {kString | 8, "ab%rcdefg hi", "ab\rcdefg\r\nhi"},
        {kString | 8, "abcd%nefg hi", "abcd\r\nefg hi"},
        // Only blanks break: tabs and punctuation do not.
        {kString | 8, "ab cd\tefgh", "ab\r\ncd\tefgh"},
        {kString | 8, "ab cd-efgh", "ab\r\ncd-efgh"},
        // A source line break is a blank and may break.
        {kString | 8, "one\ntwo three", "one two\r\nthree"},
    };
    for (const TextCase& c : cases) ExpectBothForms(c);

    // The mask means no limit at all.
    std::string longLine(300, 'w');
    longLine[150] = ' ';
    ExpectBothForms({kString | FORMAT_MESSAGE_MAX_WIDTH_MASK, longLine.c_str(), longLine.c_str()});

    // Inserted text wraps like the template's own.
    const char16_t* inserted = u"alpha beta";
    EXPECT_EQ(WithArray<char16_t>(kString | 8, u"[%1]", {Wide(inserted)}).text(), u"[alpha\r\nbeta]");
    EXPECT_EQ(WithArray<char16_t>(kString | 4, u"%1!10s!x", {Wide(u"v")}).text(), u"\r\n\r\n vx");
}

TEST(FormatMessage, InsertsAndPrintfFormats) {
    const struct {
        const char16_t* source;
        std::vector<DWORD_PTR> values;
        const char16_t* expected;
    } cases[] = {
        {u"%1 and %2", {Wide(u"first"), Wide(u"second")}, u"first and second"},
        {u"%2%1%2", {Wide(u"a"), Wide(u"b")}, u"bab"},
        {u"%10|%100", {0, 0, 0, 0, 0, 0, 0, 0, 0, Wide(u"ten")}, u"ten|ten0"},
        {u"null %1", {0}, u"null (null)"},
        {u"%1!d!|%2!u!|%3!x!|%4!X!|%5!o!", {DWORD_PTR(DWORD(-5)), 7, 255, 255, 8}, u"-5|7|ff|FF|10"},
        {u"[%1!5d!][%1!-5d!][%1!05d!][%1!+d!][%1!.3d!][%1! d!]", {42}, u"[   42][42   ][00042][+42][042][ 42]"},
        {u"[%1!#x!][%1!#o!][%2!#x!][%2!.0d!]", {8, 0}, u"[0x8][010][0][]"},
        {u"%1!hd! %1!hhd! %1!hu!", {0x1FFFF}, u"-1 -1 65535"},
        {u"%1!lu! %1!ld!", {0xFFFFFFFFu}, u"4294967295 -1"},
        {u"%1!I64d! %2!I64u!", {DWORD_PTR(-9000000000LL), ~DWORD_PTR(0)}, u"-9000000000 18446744073709551615"},
        {u"[%1!-6s!][%2!4s!][%3!.2s!][%3!04.1s!]", {Wide(u"ab"), Wide(u"cd"), Wide(u"efgh")},
         u"[ab    ][  cd][ef][000e]"},
        {u"%1!S! %2!hs! %3!ls! %3!ws!", {Narrow("narrow"), Narrow("also"), Wide(u"wide")}, u"narrow also wide wide"},
        {u"%1!c!%2!C!%3!hc!%4!lc!", {'W', 'n', 'h', 'l'}, u"Wnhl"},
        {u"[%1!3c!]", {'x'}, u"[  x]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithArray<char16_t>(kString, c.source, c.values).text(), c.expected)
            << std::string(c.source, c.source + std::char_traits<char16_t>::length(c.source));

    // In the A form !s! and !c! are narrow and the upper case wide.
    EXPECT_EQ(WithArray<char>(kString, "%1 %2!S! %3!c!%4!C!%n", {Narrow("bytes"), Wide(u"units"), 'a', 'b'}).text(),
              "bytes units ab\r\n");
}

// FormatMessageW with the arguments after size as its va_list.
Outcome<char16_t> FromVaList(const char16_t* source, ...) {
    va_list list;
    va_start(list, source);
    const Outcome<char16_t> outcome = Call<char16_t>(kString, source, 512, &list);
    va_end(list);
    return outcome;
}

TEST(FormatMessage, StarArgumentsAreNumberedAsWindowsDoes) {
    // The va_list form: '*' takes the insert's own number, then the next
    // argument; the value is read into the last '*' slot.
    EXPECT_EQ(FromVaList(u"[%1!*s!]", 3, u"v").text(), u"[  v]");
    EXPECT_EQ(FromVaList(u"[%1!*.*d!]", 6, 2, 7).text(), u"[    07]");
    EXPECT_EQ(FromVaList(u"[%1!*.*d!][%1!*.*d!]", 6, 2, 7, 3, 9).text(), u"[    07][   009]");
    EXPECT_EQ(FromVaList(u"[%1!*.*d!][%3!*.*d!]", 4, 2, 7, 5, 3, 9).text(), u"[  07][  009]");
    EXPECT_EQ(FromVaList(u"%1 is %2!d! or %3!#x!", u"answer", 42, 255).text(), u"answer is 42 or 0xff");
    EXPECT_EQ(FromVaList(u"%1!I64u!|%2!I64d!", 18446744073709551615ull, -5ll).text(), u"18446744073709551615|-5");

    // The array form: the insert's number, then on from the highest used.
    const std::vector<DWORD_PTR> values = {7, 3, 4, 6, 2, 8};
    EXPECT_EQ(WithArray<char16_t>(kString, u"[%1!*.*d!][%1!*.*d!]", values).text(), u"[    004][ 000002]");
    EXPECT_EQ(WithArray<char16_t>(kString, u"[%1!*.*d!][%4!*.*d!]", values).text(), u"[    004][    08]");
    EXPECT_EQ(WithArray<char16_t>(kString, u"[%2!*d!]", values).text(), u"[  4]");
    // A negative '*' width justifies to the left; a negative precision is none.
    EXPECT_EQ(WithArray<char16_t>(kString, u"[%1!*d!][%3!.*d!]", {DWORD_PTR(DWORD(-4)), 7, DWORD_PTR(DWORD(-1)), 5})
                  .text(),
              u"[7   ][5]");
}

}  // namespace
