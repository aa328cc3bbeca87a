#include <random>
#include <vector>

#include "UtilTestSupport.h"

namespace {

// What the random run below does not check: trimming, quotes, a whole
// delimiter taken apart and no delimiters. Trimming comes before the quotes
// go: spaces inside them survive.
TEST(ParseDelimited, FieldsDelimitersQuotesAndTrimming) {
    const struct {
        const WCHAR *text, *delimiters;
        int whole, trim;
        const WCHAR *token, *rest;
    } cases[] = {
        {ZAV_TEXT("  a ; b"), ZAV_TEXT(";"), 0, 1, ZAV_TEXT("a"), ZAV_TEXT(" b")},
        {ZAV_TEXT(" b"), ZAV_TEXT(";"), 0, 1, ZAV_TEXT("b"), ZAV_TEXT("")},
        {ZAV_TEXT("a::b"), ZAV_TEXT("::"), 0, 0, ZAV_TEXT("a"), ZAV_TEXT(":b")},
        {ZAV_TEXT("a b"), ZAV_TEXT(""), 0, 0, ZAV_TEXT("a b"), ZAV_TEXT("")},  // nothing is a delimiter
        {ZAV_TEXT("a b"), ZAV_TEXT(""), 1, 0, ZAV_TEXT("a b"), ZAV_TEXT("")},
        {ZAV_TEXT("\"x,y\",z"), ZAV_TEXT(","), 0, 0, ZAV_TEXT("x,y"), ZAV_TEXT("z")},
        {ZAV_TEXT("\"a\"\"b\",c"), ZAV_TEXT(","), 0, 0, ZAV_TEXT("a\"b"), ZAV_TEXT("c")},
        {ZAV_TEXT("ab\"c,d\"e,f"), ZAV_TEXT(","), 0, 0, ZAV_TEXT("ab\"c,d\"e"), ZAV_TEXT("f")},
        {ZAV_TEXT("\"unclosed,x"), ZAV_TEXT(","), 0, 0, ZAV_TEXT("\"unclosed,x"), ZAV_TEXT("")},
        {ZAV_TEXT("\"\""), ZAV_TEXT(","), 0, 0, ZAV_TEXT(""), ZAV_TEXT("")},
        {ZAV_TEXT("\""), ZAV_TEXT(","), 0, 0, ZAV_TEXT("\""), ZAV_TEXT("")},
        {ZAV_TEXT("  \" a \"  ;x"), ZAV_TEXT(";"), 0, 1, ZAV_TEXT(" a "), ZAV_TEXT("x")},
        {ZAV_TEXT("\"a::b\"::c"), ZAV_TEXT("::"), 1, 0, ZAV_TEXT("a::b"), ZAV_TEXT("c")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ZAVString rest(c.text), token(ZAV_TEXT("stale"));
        ZAV_ParseDelimitedString(rest, c.delimiters, token, c.whole, c.trim);
        EXPECT_EQ(Text(token), c.token);
        EXPECT_EQ(Text(rest), c.rest);
    }
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

// Random texts over a small alphabet rich in quotes, blanks and delimiters,
// through both forms. Every call makes progress, so the loop ends with the text consumed. Without
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
            std::vector<WCHAR> buffer(before.begin(), before.end()), tokenBuffer(before.size() + 1, ZAV_TEXT('j'));
            buffer.push_back(0);
            ZAV_ParseDelimitedString(buffer.data(), delimiters, tokenBuffer.data(), whole, trim);
            EXPECT_EQ(WString(buffer.data()), after);  // the buffer form alike
            EXPECT_EQ(WString(tokenBuffer.data()), Text(token));
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
