// Searches, comparisons, substrings, case mapping, trimming and the forced
// prefix and suffix of ZAVString.
#include "StringTestSupport.h"

namespace {

const unsigned npos = ZAVString::npos;

TEST(StringSearch, EmptyPatternsAndEmptySets) {
    const ZAVString abc(ZAV_TEXT("abc"));
    EXPECT_EQ(3u, abc.find(ZAV_TEXT(""), 3));
    EXPECT_EQ(npos, abc.find(ZAV_TEXT(""), 4));
    EXPECT_EQ(3u, abc.rfind(ZAV_TEXT(""), npos));
    EXPECT_EQ(1u, abc.rfind(ZAV_TEXT(""), 1));
    // An empty set finds nothing, not even "not in the set".
    EXPECT_EQ(npos, abc.find_first_of(ZAV_TEXT(""), 0));
    EXPECT_EQ(npos, abc.find_last_of(ZAV_TEXT(""), npos));
    EXPECT_EQ(npos, abc.find_first_not_of(ZAV_TEXT(""), 0));
    EXPECT_EQ(npos, abc.find_last_not_of(ZAV_TEXT(""), npos));

    const ZAVString none;
    EXPECT_EQ(0u, none.find(ZAV_TEXT(""), 0));
    EXPECT_EQ(npos, none.find(ZAV_TEXT('a')));
    EXPECT_EQ(npos, none.rfind(ZAV_TEXT('a')));
    EXPECT_EQ(0u, none.rfind(none));
    EXPECT_EQ(npos, none.find_last_not_of(ZAV_TEXT('a')));
}

TEST(StringSearch, ForwardAndBackwardWithTheirBounds) {
    const ZAVString s(ZAV_TEXT("abcabc"));
    EXPECT_EQ(5u, s.find_last_of(ZAV_TEXT('c'), npos));
    EXPECT_EQ(1u, s.rfind(ZAV_TEXT("bc"), 3));
    EXPECT_EQ(4u, s.find(ZAV_TEXT("bc"), 2));
    EXPECT_EQ(4u, s.rfind(ZAV_TEXT("bc")));
    EXPECT_EQ(0u, s.rfind(ZAV_TEXT("abcabc"), 0));
    EXPECT_EQ(npos, s.rfind(ZAV_TEXT("abcabcd")));
    EXPECT_EQ(npos, s.find(ZAV_TEXT("bc"), 5));
    EXPECT_EQ(npos, s.find(ZAV_TEXT("cab"), 3));
    EXPECT_EQ(2u, s.find(ZAVString(ZAV_TEXT("cab"))));
    EXPECT_EQ(npos, s.find(ZAV_TEXT("abd")));  // a first-character match that fails later
    EXPECT_EQ(0u, s.find(ZAV_TEXT('a'), 0));
    EXPECT_EQ(3u, s.find(ZAV_TEXT('a'), 1));
    EXPECT_EQ(3u, s.rfind(ZAV_TEXT('a'), 4));
    EXPECT_EQ(0u, s.rfind(ZAV_TEXT('a'), 2));
    EXPECT_EQ(npos, s.rfind(ZAV_TEXT('c'), 1));
}

TEST(StringSearch, CharacterSets) {
    const ZAVString path(ZAV_TEXT("dir/sub\\file.txt"));
    const ZAVString separators(ZAV_TEXT("/\\"));
    EXPECT_EQ(3u, path.find_first_of(separators));
    EXPECT_EQ(7u, path.find_first_of(separators, 4));
    EXPECT_EQ(7u, path.find_last_of(separators));
    EXPECT_EQ(3u, path.find_last_of(separators, 6));
    EXPECT_EQ(npos, path.find_last_of(separators, 2));
    EXPECT_EQ(npos, path.find_first_of(separators, 99));
    EXPECT_EQ(2u, path.find_first_not_of(ZAV_TEXT("di")));
    EXPECT_EQ(12u, path.find_last_not_of(ZAV_TEXT("xt"), npos));
    EXPECT_EQ(13u, path.find_last_not_of(ZAV_TEXT("x"), 14));
    EXPECT_EQ(npos, ZAVString(ZAV_TEXT("aaa")).find_first_not_of(ZAV_TEXT('a')));
    EXPECT_EQ(npos, ZAVString(ZAV_TEXT("aaa")).find_last_not_of(ZAV_TEXT('a')));
    EXPECT_EQ(1u, ZAVString(ZAV_TEXT("aba")).find_first_not_of(ZAV_TEXT('a'), 1));
}

TEST(StringSearch, ComparisonIsByUnsignedCodeUnitThenLength) {
    const ZAVString ab(ZAV_TEXT("ab")), abc(ZAV_TEXT("abc")), abd(ZAV_TEXT("abd")), none;
    EXPECT_EQ(-1, ab.compare(abc));
    EXPECT_EQ(1, abd.compare(abc));
    EXPECT_EQ(1, abc.compare(ab));
    EXPECT_EQ(0, abc.compare(ZAV_TEXT("abc")));
    EXPECT_EQ(0, none.compare(ZAV_TEXT("")));
    EXPECT_EQ(0, none.compare(ZAVString()));
    const WCHAR high[] = {0xE9, 0};  // above every ASCII unit, and 0xFFFF above all
    EXPECT_EQ(-1, abc.compare(high));
    EXPECT_EQ(1, ZAVString(1, static_cast<WCHAR>(0xFFFF)).compare(high));
    EXPECT_EQ(0, abc.compare(1, 2, ZAV_TEXT("bc")));
    EXPECT_EQ(0, abc.compare(1, 99, ZAV_TEXT("bcx"), 2));
    EXPECT_EQ(-1, abc.compare(1, 1, ZAV_TEXT("bc")));
    EXPECT_EQ(0, abc.compare(0, 2, ab));
    EXPECT_EQ(-1, abc.compare(2, 1, abd, 2, 9));  // "c" < "d"
    EXPECT_EQ(0, abc.compare(3, 1, ZAV_TEXT("")));
    EXPECT_EQ(-1, abc.compare(9, 1, ZAV_TEXT("a")));  // past the end: an empty range
    EXPECT_EQ(1, abc.compare(0, 1, abd, 9, 1));
}

TEST(StringSearch, SubstringsLeftAndRight) {
    const ZAVString abc(ZAV_TEXT("abc"));
    EXPECT_EQ(ZAV_TEXT("bc"), Text(abc.Right(2)));
    EXPECT_EQ(ZAV_TEXT("abc"), Text(abc.Right(3)));
    EXPECT_EQ(ZAV_TEXT(""), Text(abc.Right(4)));  // not the whole string
    EXPECT_EQ(ZAV_TEXT("abc"), Text(abc.Left(5)));
    EXPECT_EQ(ZAV_TEXT("a"), Text(abc.Left(1)));
    EXPECT_EQ(ZAV_TEXT(""), Text(abc.substr(4, 1)));
    EXPECT_EQ(ZAV_TEXT(""), Text(abc.substr(3)));
    EXPECT_EQ(ZAV_TEXT("b"), Text(abc.substr(1, 1)));
    EXPECT_EQ(ZAV_TEXT("bc"), Text(abc.substr(1)));
    EXPECT_EQ(ZAV_TEXT(""), Text(ZAVString().Right(0)));
}

TEST(StringSearch, CaseMappingTouchesOnlyAsciiLettersInTheDefaultLocale) {
    ZAVString s(ZAV_TEXT("a\u00E91z\u0101"));
    s.UCase();
    EXPECT_EQ(ZAV_TEXT("A\u00E91Z\u0101"), Text(s));
    s.LCase();
    EXPECT_EQ(ZAV_TEXT("a\u00E91z\u0101"), Text(s));
    ZAVString none;
    none.UCase();
    EXPECT_EQ(0u, none.capacity());
}

TEST(StringSearch, TrimmingRemovesSpacesOnly) {
    ZAVString s(ZAV_TEXT("  a b  "));
    s.Trim();
    EXPECT_EQ(ZAV_TEXT("a b"), Text(s));

    ZAVString spaces(ZAV_TEXT("    "));
    spaces.Trim();
    EXPECT_EQ(0u, spaces.capacity());

    ZAVString tabbed(ZAV_TEXT("\t a \n"));
    tabbed.Trim();
    EXPECT_EQ(ZAV_TEXT("\t a \n"), Text(tabbed));
    tabbed.LTrim();
    EXPECT_EQ(ZAV_TEXT("\t a \n"), Text(tabbed));

    ZAVString left(ZAV_TEXT("  x  "));
    left.LTrim();
    EXPECT_EQ(ZAV_TEXT("x  "), Text(left));
    left.RTrim();
    EXPECT_EQ(ZAV_TEXT("x"), Text(left));

    ZAVString allRight(ZAV_TEXT("   "));
    allRight.RTrim();
    EXPECT_EQ(0u, allRight.capacity());
    ZAVString none;
    none.Trim();
    EXPECT_EQ(0u, none.capacity());
}

TEST(StringSearch, ForcedSuffix) {
    ZAVString dir(ZAV_TEXT("dir"));
    dir.ForceSuffix(ZAV_TEXT('\\'));
    EXPECT_EQ(ZAV_TEXT("dir\\"), Text(dir));
    dir.ForceSuffix(ZAV_TEXT('\\'));
    EXPECT_EQ(ZAV_TEXT("dir\\"), Text(dir));
    ZAVString none;
    none.ForceSuffix(ZAV_TEXT('\\'));
    EXPECT_EQ(ZAV_TEXT("\\"), Text(none));
}

TEST(StringSearch, ForcedPrefix) {
    const ZAVString prefix(ZAV_TEXT("ab"));
    ZAVString present(ZAV_TEXT("abc")), absent(ZAV_TEXT("xbc")), shorter(ZAV_TEXT("a"));
    present.ForcePrefix(prefix);
    absent.ForcePrefix(prefix);
    shorter.ForcePrefix(prefix);
    EXPECT_EQ(ZAV_TEXT("abc"), Text(present));
    EXPECT_EQ(ZAV_TEXT("abxbc"), Text(absent));
    EXPECT_EQ(ZAV_TEXT("aba"), Text(shorter));

    ZAVString caseDiffers(ZAV_TEXT("ABc"));
    caseDiffers.ForcePrefix(prefix);
    EXPECT_EQ(ZAV_TEXT("abABc"), Text(caseDiffers));
    caseDiffers.ForcePrefix(ZAVString());
    EXPECT_EQ(ZAV_TEXT("abABc"), Text(caseDiffers));
    caseDiffers.ForcePrefix(caseDiffers);
    EXPECT_EQ(ZAV_TEXT("abABc"), Text(caseDiffers));
}

}  // namespace
