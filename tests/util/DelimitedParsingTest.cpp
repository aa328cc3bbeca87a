#include <random>
#include <vector>

#include "UtilTestSupport.h"

namespace {

struct Parsed {
    std::u16string token, rest;
};

Parsed Parse(const std::u16string& text, const WCHAR* delimiters, int whole = 0, int trim = 0) {
    ZAVString rest = Z(text), token(u"stale");
    ZAV_ParseDelimitedString(rest, delimiters, token, whole, trim);
    return {Text(token), Text(rest)};
}

void ExpectParse(const std::u16string& text, const WCHAR* delimiters, int whole, int trim,
                 const std::u16string& token, const std::u16string& rest) {
    const Parsed p = Parse(text, delimiters, whole, trim);
    EXPECT_EQ(p.token, token) << "token of [" << std::string(text.begin(), text.end()) << "]";
    EXPECT_EQ(p.rest, rest) << "rest of [" << std::string(text.begin(), text.end()) << "]";
}

TEST(ParseDelimited, FieldsDelimitersAndTrimming) {
    ExpectParse(u"a,b,c", nullptr, 0, 0, u"a", u"b,c");
    ExpectParse(u"abc", u",", 0, 0, u"abc", u"");
    ExpectParse(u",x", u",", 0, 0, u"", u"x");
    ExpectParse(u"", u",", 0, 0, u"", u"");
    ExpectParse(u"  a ; b", u";", 0, 1, u"a", u" b");
    ExpectParse(u" b", u";", 0, 1, u"b", u"");
    ExpectParse(u"  a ; b", u";", 0, 0, u"  a ", u" b");
    ExpectParse(u"a;b,c", u",;", 0, 0, u"a", u"b,c");
    ExpectParse(u"a::b", u"::", 1, 0, u"a", u"b");
    ExpectParse(u"a::b", u"::", 0, 0, u"a", u":b");
    ExpectParse(u"a:", u"::", 1, 0, u"a:", u"");  // a partial delimiter at the end is text
    ExpectParse(u"a b", u"", 0, 0, u"a b", u"");  // nothing is a delimiter
    ExpectParse(u"a b", u"", 1, 0, u"a b", u"");
    ExpectParse(u"first second", u" ", 0, 1, u"first", u"second");
}

TEST(ParseDelimited, QuotesProtectDelimitersAndDoubleToOne) {
    ExpectParse(u"\"x,y\",z", u",", 0, 0, u"x,y", u"z");
    ExpectParse(u"\"a\"\"b\",c", u",", 0, 0, u"a\"b", u"c");
    ExpectParse(u"ab\"c,d\"e,f", u",", 0, 0, u"ab\"c,d\"e", u"f");
    ExpectParse(u"\"unclosed,x", u",", 0, 0, u"\"unclosed,x", u"");
    ExpectParse(u"\"\"", u",", 0, 0, u"", u"");
    ExpectParse(u"\"", u",", 0, 0, u"\"", u"");
    // Trimming comes before the quotes go: spaces inside them survive.
    ExpectParse(u"  \" a \"  ;x", u";", 0, 1, u" a ", u"x");
    ExpectParse(u"\"a::b\"::c", u"::", 1, 0, u"a::b", u"c");
}

TEST(ParseDelimited, BufferFormCopiesBothBack) {
    WCHAR text[] = u"one, two";
    WCHAR token[16] = u"junkjunkjunk";
    ZAV_ParseDelimitedString(text, nullptr, token, 0, 1);
    EXPECT_EQ(std::u16string(token), u"one");
    EXPECT_EQ(std::u16string(text), u" two");
    ZAV_ParseDelimitedString(text, nullptr, token, 0, 1);
    EXPECT_EQ(std::u16string(token), u"two");
    EXPECT_EQ(std::u16string(text), u"");
}

TEST(ParseDelimited, DelimitersMayLiveInTheToken) {
    ZAVString text(u"a;b"), token(u";");
    ZAV_ParseDelimitedString(text, token.c_str(), token, 0, 0);
    EXPECT_EQ(Text(token), u"a");
    EXPECT_EQ(Text(text), u"b");
    ZAVString same(u"x y"), field;
    ZAV_ParseDelimitedString(same, same.c_str() + 1, field, 0, 1);
    EXPECT_EQ(Text(field), u"x");
    EXPECT_EQ(Text(same), u"y");
}

bool IsDelimiter(const std::u16string& piece, const WCHAR* delimiters, bool whole) {
    if (whole) return piece == u"::";
    const std::u16string set = delimiters != nullptr ? delimiters : u",";
    return piece.size() == 1 && set.find(piece[0]) != std::u16string::npos;
}

// Random texts over a small alphabet rich in quotes, blanks and delimiters.
// Every call makes progress, so the loop ends with the text consumed. Without
// trimming each call takes exactly field + delimiter off the front; without
// quotes the field is the token.
TEST(ParseDelimited, RandomTextsAreConsumedFieldByField) {
    std::mt19937 random(20261206);
    const char16_t alphabet[] = u"ab \",;:";
    for (int round = 0; round < 5000; ++round) {
        std::u16string text;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i) text += alphabet[random() % 7];
        const bool whole = random() % 2 != 0, trim = random() % 2 != 0;
        const WCHAR* delimiters = whole ? u"::" : (random() % 2 != 0 ? u",;" : nullptr);

        ZAVString rest = Z(text), token;
        for (int calls = 0; !rest.empty(); ++calls) {
            ASSERT_LE(calls, length) << "no progress";
            const std::u16string before = Text(rest);
            ZAV_ParseDelimitedString(rest, delimiters, token, whole, trim);
            const std::u16string after = Text(rest);
            ASSERT_LT(after.size(), before.size());
            if (trim) continue;
            ASSERT_EQ(before.substr(before.size() - after.size()), after);
            if (before.find(u'"') != std::u16string::npos) continue;
            const std::u16string field = Text(token);
            ASSERT_EQ(before.compare(0, field.size(), field), 0);
            const std::u16string delimiter = before.substr(field.size(), before.size() - field.size() - after.size());
            if (!delimiter.empty() || !after.empty()) {
                EXPECT_TRUE(IsDelimiter(delimiter, delimiters, whole))
                    << "[" << std::string(before.begin(), before.end()) << "]";
            }
        }
    }
}

}  // namespace
