#include <random>
#include <vector>

#include "UtilTestSupport.h"

namespace {

struct Parsed {
    WString token, rest;
};

Parsed Parse(const WString& text, const WCHAR* delimiters, int whole = 0, int trim = 0) {
    ZAVString rest = Z(text), token(ZAV_TEXT("stale"));
    ZAV_ParseDelimitedString(rest, delimiters, token, whole, trim);
    return {Text(token), Text(rest)};
}

void ExpectParse(const WString& text, const WCHAR* delimiters, int whole, int trim,
                 const WString& token, const WString& rest) {
    const Parsed p = Parse(text, delimiters, whole, trim);
    EXPECT_EQ(p.token, token) << "token of [" << std::string(text.begin(), text.end()) << "]";
    EXPECT_EQ(p.rest, rest) << "rest of [" << std::string(text.begin(), text.end()) << "]";
}

TEST(ParseDelimited, FieldsDelimitersAndTrimming) {
    ExpectParse(ZAV_TEXT("a,b,c"), nullptr, 0, 0, ZAV_TEXT("a"), ZAV_TEXT("b,c"));
    ExpectParse(ZAV_TEXT("abc"), ZAV_TEXT(","), 0, 0, ZAV_TEXT("abc"), ZAV_TEXT(""));
    ExpectParse(ZAV_TEXT(",x"), ZAV_TEXT(","), 0, 0, ZAV_TEXT(""), ZAV_TEXT("x"));
    ExpectParse(ZAV_TEXT(""), ZAV_TEXT(","), 0, 0, ZAV_TEXT(""), ZAV_TEXT(""));
    ExpectParse(ZAV_TEXT("  a ; b"), ZAV_TEXT(";"), 0, 1, ZAV_TEXT("a"), ZAV_TEXT(" b"));
    ExpectParse(ZAV_TEXT(" b"), ZAV_TEXT(";"), 0, 1, ZAV_TEXT("b"), ZAV_TEXT(""));
    ExpectParse(ZAV_TEXT("  a ; b"), ZAV_TEXT(";"), 0, 0, ZAV_TEXT("  a "), ZAV_TEXT(" b"));
    ExpectParse(ZAV_TEXT("a;b,c"), ZAV_TEXT(",;"), 0, 0, ZAV_TEXT("a"), ZAV_TEXT("b,c"));
    ExpectParse(ZAV_TEXT("a::b"), ZAV_TEXT("::"), 1, 0, ZAV_TEXT("a"), ZAV_TEXT("b"));
    ExpectParse(ZAV_TEXT("a::b"), ZAV_TEXT("::"), 0, 0, ZAV_TEXT("a"), ZAV_TEXT(":b"));
    ExpectParse(ZAV_TEXT("a:"), ZAV_TEXT("::"), 1, 0, ZAV_TEXT("a:"), ZAV_TEXT(""));  // a partial delimiter at the end is text
    ExpectParse(ZAV_TEXT("a b"), ZAV_TEXT(""), 0, 0, ZAV_TEXT("a b"), ZAV_TEXT(""));  // nothing is a delimiter
    ExpectParse(ZAV_TEXT("a b"), ZAV_TEXT(""), 1, 0, ZAV_TEXT("a b"), ZAV_TEXT(""));
    ExpectParse(ZAV_TEXT("first second"), ZAV_TEXT(" "), 0, 1, ZAV_TEXT("first"), ZAV_TEXT("second"));
}

TEST(ParseDelimited, QuotesProtectDelimitersAndDoubleToOne) {
    ExpectParse(ZAV_TEXT("\"x,y\",z"), ZAV_TEXT(","), 0, 0, ZAV_TEXT("x,y"), ZAV_TEXT("z"));
    ExpectParse(ZAV_TEXT("\"a\"\"b\",c"), ZAV_TEXT(","), 0, 0, ZAV_TEXT("a\"b"), ZAV_TEXT("c"));
    ExpectParse(ZAV_TEXT("ab\"c,d\"e,f"), ZAV_TEXT(","), 0, 0, ZAV_TEXT("ab\"c,d\"e"), ZAV_TEXT("f"));
    ExpectParse(ZAV_TEXT("\"unclosed,x"), ZAV_TEXT(","), 0, 0, ZAV_TEXT("\"unclosed,x"), ZAV_TEXT(""));
    ExpectParse(ZAV_TEXT("\"\""), ZAV_TEXT(","), 0, 0, ZAV_TEXT(""), ZAV_TEXT(""));
    ExpectParse(ZAV_TEXT("\""), ZAV_TEXT(","), 0, 0, ZAV_TEXT("\""), ZAV_TEXT(""));
    // Trimming comes before the quotes go: spaces inside them survive.
    ExpectParse(ZAV_TEXT("  \" a \"  ;x"), ZAV_TEXT(";"), 0, 1, ZAV_TEXT(" a "), ZAV_TEXT("x"));
    ExpectParse(ZAV_TEXT("\"a::b\"::c"), ZAV_TEXT("::"), 1, 0, ZAV_TEXT("a::b"), ZAV_TEXT("c"));
}

TEST(ParseDelimited, BufferFormCopiesBothBack) {
    WCHAR text[] = ZAV_TEXT("one, two");
    WCHAR token[16] = ZAV_TEXT("junkjunkjunk");
    ZAV_ParseDelimitedString(text, nullptr, token, 0, 1);
    EXPECT_EQ(WString(token), ZAV_TEXT("one"));
    EXPECT_EQ(WString(text), ZAV_TEXT(" two"));
    ZAV_ParseDelimitedString(text, nullptr, token, 0, 1);
    EXPECT_EQ(WString(token), ZAV_TEXT("two"));
    EXPECT_EQ(WString(text), ZAV_TEXT(""));
}

TEST(ParseDelimited, DelimitersMayLiveInTheToken) {
    ZAVString text(ZAV_TEXT("a;b")), token(ZAV_TEXT(";"));
    ZAV_ParseDelimitedString(text, token.c_str(), token, 0, 0);
    EXPECT_EQ(Text(token), ZAV_TEXT("a"));
    EXPECT_EQ(Text(text), ZAV_TEXT("b"));
    ZAVString same(ZAV_TEXT("x y")), field;
    ZAV_ParseDelimitedString(same, same.c_str() + 1, field, 0, 1);
    EXPECT_EQ(Text(field), ZAV_TEXT("x"));
    EXPECT_EQ(Text(same), ZAV_TEXT("y"));
}

bool IsDelimiter(const WString& piece, const WCHAR* delimiters, bool whole) {
    if (whole) return piece == ZAV_TEXT("::");
    const WString set = delimiters != nullptr ? delimiters : ZAV_TEXT(",");
    return piece.size() == 1 && set.find(piece[0]) != WString::npos;
}

// Random texts over a small alphabet rich in quotes, blanks and delimiters.
// Every call makes progress, so the loop ends with the text consumed. Without
// trimming each call takes exactly field + delimiter off the front; without
// quotes the field is the token.
TEST(ParseDelimited, RandomTextsAreConsumedFieldByField) {
    std::mt19937 random(20261206);
    const WCHAR alphabet[] = ZAV_TEXT("ab \",;:");
    for (int round = 0; round < 5000; ++round) {
        WString text;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i) text += alphabet[random() % 7];
        const bool whole = random() % 2 != 0, trim = random() % 2 != 0;
        const WCHAR* delimiters = whole ? ZAV_TEXT("::") : (random() % 2 != 0 ? ZAV_TEXT(",;") : nullptr);

        ZAVString rest = Z(text), token;
        for (int calls = 0; !rest.empty(); ++calls) {
            ASSERT_LE(calls, length) << "no progress";
            const WString before = Text(rest);
            ZAV_ParseDelimitedString(rest, delimiters, token, whole, trim);
            const WString after = Text(rest);
            ASSERT_LT(after.size(), before.size());
            if (trim) continue;
            ASSERT_EQ(before.substr(before.size() - after.size()), after);
            if (before.find(ZAV_TEXT('"')) != WString::npos) continue;
            const WString field = Text(token);
            ASSERT_EQ(before.compare(0, field.size(), field), 0);
            const WString delimiter = before.substr(field.size(), before.size() - field.size() - after.size());
            if (!delimiter.empty() || !after.empty()) {
                EXPECT_TRUE(IsDelimiter(delimiter, delimiters, whole))
                    << "[" << std::string(before.begin(), before.end()) << "]";
            }
        }
    }
}

}  // namespace
