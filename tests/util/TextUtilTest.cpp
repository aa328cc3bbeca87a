// The text utilities against models over random texts, and what the
// models leave out; the delimited parser in a table.
#include <random>

#include "TestSupport.h"

namespace {

// Both cases of ASCII letters and the neighbours of the case bit; units
// above ASCII that the default locale does not fold or that share a low
// byte; a zero, which counts in a ZAVString.
const WCHAR kCaseAlphabet[] = {ZAV_TEXT('a'), ZAV_TEXT('A'), ZAV_TEXT('z'), ZAV_TEXT('Z'), ZAV_TEXT('['), ZAV_TEXT('{'),
                               ZAV_TEXT('_'), 0xE9, 0xC9, 0x141, 0x161, 0xFFFF, 0};

WString Upper(WString text) {
    for (auto& ch : text) ch = ch >= ZAV_TEXT('a') && ch <= ZAV_TEXT('z') ? ch - 0x20 : ch;
    return text;
}

WString Range(const WString& text, LONG count, LONG start) {
    start = start < 0 ? 0 : start;
    return start < static_cast<LONG>(text.size()) ? text.substr(start, count < 0 ? WString::npos : count) : WString();
}

// Caseless matching and ordering (of upper-cased copies), replacement with
// limits (string and buffer forms alike), trimming and range comparison.
TEST(TextUtil, RandomTextsAgainstModels) {
    std::mt19937 random(61206);
    auto word = [&](int maxLength, const WCHAR* alphabet = ZAV_TEXT("ab \t"), int size = 4) {
        WString w(random() % (maxLength + 1), ZAV_TEXT('a'));
        for (auto& ch : w) ch = alphabet[random() % size];
        return w;
    };
    auto number = [&] { return static_cast<LONG>(random() % 36) - 3; };
    for (int round = 0; round < 5000; ++round) {
        const WString left = word(2, kCaseAlphabet, 13), right = word(2, kCaseAlphabet, 13);
        EXPECT_EQ(ZAV_MatchCaseless(Z(left), Z(right)), Upper(left) == Upper(right) ? 1 : 0);
        const WString a = word(2, kCaseAlphabet, 12), b = word(2, kCaseAlphabet, 12);  // no zero: ordering stops at one
        const int caseless = Upper(a).compare(Upper(b));
        EXPECT_EQ(ZAV_CompareCaseless(Z(a), Z(b)), (caseless > 0) - (caseless < 0));

        const WString text = word(30), find = word(3), replacement = word(3);
        const DWORD maxCount = random() % 4 == 0 ? random() % 3 : 0;
        WString model;
        DWORD modelCount = 0;
        size_t pos = 0;
        for (size_t hit; !find.empty() && (maxCount == 0 || modelCount < maxCount) &&
                         (hit = text.find(find, pos)) != WString::npos;
             ++modelCount) {
            model += text.substr(pos, hit - pos) + replacement;
            pos = hit + find.size();
        }
        model += text.substr(pos);

        ZAVString s = Z(text);
        DWORD count = 77;
        ASSERT_EQ(ZAV_ReplaceString(s, find.c_str(), replacement.c_str(), &count, 0, maxCount), find.empty() ? 87u : 0u);
        ASSERT_EQ(Text(s), model);
        ASSERT_EQ(count, modelCount);
        WString buffer = text + WString(64 - text.size(), 0);
        DWORD length = static_cast<DWORD>(random() % 40) + 1;
        const bool fits = model.size() < length;
        const DWORD result = ZAV_ReplaceString(buffer.data(), &length, find.c_str(), replacement.c_str(), &count, 0, maxCount);
        EXPECT_EQ(result, find.empty() ? 87u : fits ? 0u : 8u);
        EXPECT_EQ(WString(buffer.data()), fits ? model : text);
        EXPECT_TRUE(fits || find.empty() || length == model.size() + 1) << length;  // the length it needs

        // Guards on both sides catch a read or write outside the text.
        WString guarded = ZAV_TEXT("!") + text + WCHAR(0) + ZAV_TEXT("#");
        ZAV_Trim(&guarded[1]);
        const size_t first = text.find_first_not_of(ZAV_TEXT(' ')), last = text.find_last_not_of(ZAV_TEXT(' '));
        EXPECT_EQ(WString(guarded.c_str() + 1), first == WString::npos ? WString() : text.substr(first, last + 1 - first));
        EXPECT_EQ((WString{guarded.front(), guarded.back()}), ZAV_TEXT("!#"));

        const LONG countA = number(), startA = number(), countB = number(), startB = number();
        const int order = Range(text, countA, startA).compare(Range(model, countB, startB));
        const LONG compared = ZAV_SubStrCompare(&WString(text)[0], countA, startA, &WString(model)[0], countB, startB);
        EXPECT_EQ(compared, (order > 0) - (order < 0));
    }
}

// What the models leave out: a null find or replacement, a zero that ends
// the search inside a ZAVString, null texts and a null buffer. An
// overlapping copy runs forward unit by unit, repeating the source; both
// pointers stop at a terminator, which is written once, in place.
TEST(TextUtil, NullArgumentsEmbeddedZerosAndOverlappedCopies) {
    ZAVString zeroed = Z(WString(ZAV_TEXT("a-a\0a-a"), 7));
    DWORD count = 7, length = 8;
    EXPECT_EQ(ZAV_ReplaceString(zeroed, nullptr, ZAV_TEXT("x"), &count, 0, 0), 87u);
    EXPECT_EQ(ZAV_ReplaceString(nullptr, &length, ZAV_TEXT("a"), ZAV_TEXT("x"), &count, 0, 0), 87u);
    EXPECT_EQ(ZAV_ReplaceString(zeroed, ZAV_TEXT("a"), nullptr, &count, 0, 0), 0u);
    EXPECT_EQ(Text(zeroed), WString(ZAV_TEXT("-\0a-a"), 5));
    EXPECT_EQ(count, 2u);
    ZAV_Trim(nullptr);
    EXPECT_EQ(ZAV_MatchCaseless(nullptr, ZAV_TEXT("x")), 0);
    WCHAR text[] = ZAV_TEXT("..abcdef"), dest[] = ZAV_TEXT("123456"), shortSource[] = ZAV_TEXT("xy\0zz");
    ZAV_OverlappedStringCopy(text, text + 2, 4);
    EXPECT_EQ(WString(text), ZAV_TEXT("abcdcdef"));
    ZAV_OverlappedStringCopy(dest, shortSource, 5);
    EXPECT_EQ(WString(dest, 6), WString(ZAV_TEXT("xy\0") ZAV_TEXT("456"), 6));
}

TEST(TextUtil, ResizingKeepsWhatFitsAndLeavesTheBlockOnFailure) {
    WCHAR* text = nullptr;
    EXPECT_EQ(ZAV_ResizeString(&text, 0), 0u);
    EXPECT_EQ(ZAV_ResizeString(&text, 5), 0u);
    EXPECT_EQ(WString(text), ZAV_TEXT(""));
    lstrcpyW(text, ZAV_TEXT("abcde"));
    EXPECT_EQ(ZAV_ResizeString(&text, 2), 0u);
    EXPECT_EQ(ZAV_ResizeString(&text, 40), 0u);
    EXPECT_EQ(WString(text), ZAV_TEXT("ab"));
    lstrcpyW(text, WString(40, ZAV_TEXT('z')).c_str());  // the new block really holds 40 characters
    EXPECT_EQ(ZAV_ResizeString(&text, 0xFFFFFFF0u), 14u);
    EXPECT_EQ(ZAV_ResizeString(nullptr, 1), 87u);
    ZAV_MemoryFree(text);

    BYTE* buffer = nullptr;
    DWORD size = 0;
    ASSERT_EQ(ZAV_ResizeBuffer(&buffer, &size, 8), 0u);
    for (int i = 0; i < 8; ++i) buffer[i] = static_cast<BYTE>(i + 1);
    ASSERT_EQ(ZAV_ResizeBuffer(&buffer, &size, 3), 0u);
    ASSERT_EQ(ZAV_ResizeBuffer(&buffer, &size, 100), 0u);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(WString(buffer, buffer + 3), WString({1, 2, 3}));
    buffer[99] = 1;
    EXPECT_EQ(ZAV_ResizeBuffer(&buffer, &size, 0), 14u);  // size 0 gets no block: nothing changes
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(ZAV_ResizeBuffer(&buffer, nullptr, 1), 87u);
    ZAV_MemoryFree(buffer);
}

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
