#include "UtilTestSupport.h"

namespace {

// Trimming, quotes, a whole delimiter taken apart or cut short, no or the
// default delimiters, and delimiters that live in the token or in the text
// being parsed, through the string and the buffer forms. Trimming comes
// before the quotes go: spaces inside them survive.
TEST(ParseDelimited, FieldsDelimitersQuotesAndTrimming) {
    const struct {
        const WCHAR *text, *delimiters;
        int whole, trim;
        const WCHAR *token, *rest;
        char alias = 0;  // 't': the delimiters are the token's own text; 'r': the text's, past its first unit
    } cases[] = {
        {ZAV_TEXT("  a ; b"), ZAV_TEXT(";"), 0, 1, ZAV_TEXT("a"), ZAV_TEXT(" b")},
        {ZAV_TEXT(" b"), ZAV_TEXT(";"), 0, 1, ZAV_TEXT("b"), ZAV_TEXT("")},
        {ZAV_TEXT("   "), ZAV_TEXT(";"), 0, 1, ZAV_TEXT(""), ZAV_TEXT("")},
        {ZAV_TEXT("a::b"), ZAV_TEXT("::"), 0, 0, ZAV_TEXT("a"), ZAV_TEXT(":b")},
        {ZAV_TEXT("x :y:"), ZAV_TEXT("::"), 1, 0, ZAV_TEXT("x :y:"), ZAV_TEXT("")},
        {ZAV_TEXT("a field longer than the token,b"), nullptr, 0, 0, ZAV_TEXT("a field longer than the token"), ZAV_TEXT("b")},
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
        if (c.alias == 0) {
            WString text = c.text, field(text.size() + 1, ZAV_TEXT('j'));
            ZAV_ParseDelimitedString(&text[0], c.delimiters, &field[0], c.whole, c.trim);
            EXPECT_EQ(WString(text.c_str()), c.rest);
            EXPECT_EQ(WString(field.c_str()), c.token);
        }
    }
}

}  // namespace
