// Editing members of ZAVString beyond the differential run: sources past
// their end, sources inside the string itself, pointer and range forms.
#include "StringTestSupport.h"

namespace {

const WCHAR* const kAbc = ZAV_TEXT("abc");

TEST(StringEditing, SourcePositionsPastTheSourceReadAsEmpty) {
    const ZAVString source(kAbc);
    ZAVString s(ZAV_TEXT("xy"));
    s.append(source, 4, 2);
    s.insert(0u, source, 9, 1);
    s.replace(0u, 1u, source, 7, 3);  // removes, inserts nothing
    EXPECT_EQ(ZAV_TEXT("y"), Text(s));
    s.append(source, 3, 1);
    s.append(source, 1, ZAVString::npos);
    EXPECT_EQ(ZAV_TEXT("ybc"), Text(s));
}

// The differential run edits from inside the string too; these are the
// forms it does not use.
TEST(StringEditing, SourcesInsideTheStringSurviveReallocationAndMoves) {
    ZAVString doubled(ZAV_TEXT("abcdefghijklmno"));  // full: 15 of 15
    doubled.append(doubled);
    EXPECT_EQ(ZAV_TEXT("abcdefghijklmnoabcdefghijklmno"), Text(doubled));

    ZAVString replaced(ZAV_TEXT("abcdef"));
    replaced.replace(0u, 2u, replaced.c_str() + 3);
    EXPECT_EQ(ZAV_TEXT("defcdef"), Text(replaced));

    ZAVString grown(ZAV_TEXT("abcdefghijklmno"));
    grown.assign(grown.c_str(), 15);  // equal to the capacity: reallocates
    EXPECT_EQ(ZAV_TEXT("abcdefghijklmno"), Text(grown));

    ZAVString ranged(ZAV_TEXT("abcdef"));
    ranged.insert(ranged.begin() + 6, ranged.begin(), ranged.begin() + 6);
    EXPECT_EQ(ZAV_TEXT("abcdefabcdef"), Text(ranged));
}

TEST(StringEditing, RangeFormsTakeExactlyTheirRange) {
    const WCHAR text[] = {ZAV_TEXT('p'), ZAV_TEXT('q'), ZAV_TEXT('r'), ZAV_TEXT('s'), ZAV_TEXT('t')};
    ZAVString s;
    s.assign(text + 1, text + 4);
    EXPECT_EQ(ZAV_TEXT("qrs"), Text(s));
    EXPECT_EQ(ZAV_TEXT("pq"), Text(ZAVString(text, text + 2)));
    s.append(text, text + 1);
    EXPECT_EQ(ZAV_TEXT("qrsp"), Text(s));
    s.replace(s.begin() + 1, s.begin() + 3, text + 3, text + 5);
    EXPECT_EQ(ZAV_TEXT("qstp"), Text(s));
    s.append(text, static_cast<const WCHAR*>(nullptr));  // a null last is an empty range
    s.assign(text, text);
    EXPECT_EQ(ZAV_TEXT(""), Text(s));
    EXPECT_EQ(15u, s.capacity());
}

TEST(StringEditing, CountedSourcesKeepEmbeddedZeros) {
    const WCHAR text[] = {ZAV_TEXT('a'), 0, ZAV_TEXT('b')};
    ZAVString s(text, 3);
    EXPECT_EQ(3u, s.size());
    EXPECT_EQ(WString(text, 3), Text(s));
    s.append(text, 3);
    EXPECT_EQ(6u, s.size());
    EXPECT_EQ(3u, s.find(ZAV_TEXT('a'), 1));
    s.resize(8);  // filled with zeros
    EXPECT_EQ(WString(text, 3) + WString(text, 3) + WString(2, 0), Text(s));
}

TEST(StringEditing, PointerFormsAnswerWhereTheCharactersAreNow) {
    ZAVString s(kAbc);
    WCHAR* at = s.insert(s.begin() + 1, ZAV_TEXT('X'));
    EXPECT_EQ(s.begin() + 1, at);
    EXPECT_EQ(ZAV_TEXT('X'), *at);
    s.insert(s.begin(), 2u, ZAV_TEXT('-'));
    EXPECT_EQ(ZAV_TEXT("--aXbc"), Text(s));
    WCHAR* next = s.erase(s.begin() + 3);
    EXPECT_EQ(ZAV_TEXT('b'), *next);
    next = s.erase(s.begin(), s.begin() + 2);
    EXPECT_EQ(ZAV_TEXT("abc"), Text(s));
    EXPECT_EQ(s.begin(), next);
    s.replace(s.begin(), s.begin() + 1, 3u, ZAV_TEXT('z'));
    s.replace(s.end() - 1, s.end(), ZAVString(ZAV_TEXT("!?")));
    EXPECT_EQ(ZAV_TEXT("zzzb!?"), Text(s));
    s.replace(s.begin(), s.end(), ZAV_TEXT("qq"), 1);
    EXPECT_EQ(ZAV_TEXT("q"), Text(s));
    EXPECT_EQ(nullptr, s.erase(s.begin()));  // nothing left: no buffer
    EXPECT_EQ(0u, s.capacity());
}

TEST(StringEditing, OperatorsAndNullTexts) {
    ZAVString s;
    s = ZAV_TEXT('x');
    s += ZAV_TEXT("yz");
    s += ZAVString(ZAV_TEXT("!"));
    s += ZAV_TEXT('?');
    s += "ab";
    EXPECT_EQ(ZAV_TEXT("xyz!?ab"), Text(s));
    s = static_cast<const WCHAR*>(nullptr);  // reads as the empty text
    EXPECT_EQ(ZAV_TEXT(""), Text(s));
    s.append(static_cast<const WCHAR*>(nullptr));
    s.insert(0u, static_cast<const WCHAR*>(nullptr), 4);
    s.append(static_cast<const char*>(nullptr));
    EXPECT_EQ(0u, s.size());
    ZAVString fromNull(static_cast<const WCHAR*>(nullptr));
    EXPECT_EQ(0u, fromNull.capacity());
}

}  // namespace
