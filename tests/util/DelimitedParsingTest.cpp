#include <random>
#include <vector>

#include "UtilTestSupport.h"

namespace {

// What the random run below does not check: trimming, quotes, a whole
// delimiter taken apart, no delimiters, and delimiters that live in the
// token or in the text being parsed. Trimming comes before the quotes go:
// spaces inside them survive.
TEST(ParseDelimited, FieldsDelimitersQuotesAndTrimming) {
    const struct {
        const WCHAR *text, *delimiters;
        int whole, trim;
        const WCHAR *token, *rest;
        char alias = 0;  // 't': the delimiters are the token's own text; 'r': the text's, past its first unit
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
        {ZAV_TEXT("a;b"), ZAV_TEXT(";"), 0, 0, ZAV_TEXT("a"), ZAV_TEXT("b"), 't'},
        {ZAV_TEXT("x y"), nullptr, 0, 1, ZAV_TEXT("x"), ZAV_TEXT("y"), 'r'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ZAVString rest(c.text), token(c.alias == 't' ? c.delimiters : ZAV_TEXT("stale"));
        const WCHAR* delimiters = c.alias == 't' ? token.c_str() : c.alias == 'r' ? rest.c_str() + 1 : c.delimiters;
        ZAV_ParseDelimitedString(rest, delimiters, token, c.whole, c.trim);
        EXPECT_EQ(Text(token), c.token);
        EXPECT_EQ(Text(rest), c.rest);
    }
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
