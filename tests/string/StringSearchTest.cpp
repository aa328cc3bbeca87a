// What the differential run against the standard string leaves out:
// empty sets, units above ASCII, Left and Right, case mapping, trimming and
// the forced prefix and suffix of ZAVString.
#include "StringTestSupport.h"

namespace {

const unsigned npos = ZAVString::npos;

// An empty set finds nothing, not even "not in the set".
TEST(StringSearch, EmptySetsFindNothing) {
    const ZAVString abc(ZAV_TEXT("abc")), none;
    for (const ZAVString* s : {&abc, &none}) {
        EXPECT_EQ(npos, s->find_first_of(ZAV_TEXT(""), 0));
        EXPECT_EQ(npos, s->find_last_of(ZAV_TEXT(""), npos));
        EXPECT_EQ(npos, s->find_first_not_of(ZAV_TEXT(""), 0));
        EXPECT_EQ(npos, s->find_last_not_of(ZAV_TEXT(""), npos));
    }
    EXPECT_EQ(npos, abc.find(ZAV_TEXT(""), 4));
    EXPECT_EQ(0u, none.rfind(none));
}

TEST(StringSearch, ComparisonIsByUnsignedCodeUnitThenLength) {
    const WCHAR e[] = {0xE9, 0}, top[] = {0xFFFF, 0};
    struct Case {
        const WCHAR *left, *right;
        int sign;
    };
    const Case cases[] = {{ZAV_TEXT("abc"), e, -1}, {top, e, 1}, {ZAV_TEXT("ab"), ZAV_TEXT("abc"), -1},
                          {ZAV_TEXT(""), ZAV_TEXT(""), 0}, {ZAV_TEXT("abd"), ZAV_TEXT("abc"), 1}};
    for (const Case& c : cases) EXPECT_EQ(c.sign, ZAVString(c.left).compare(ZAVString(c.right))) << (&c - cases);
    const ZAVString abc(ZAV_TEXT("abc")), abd(ZAV_TEXT("abd"));
    EXPECT_EQ(0, abc.compare(1, 99, ZAV_TEXT("bcx"), 2));
    EXPECT_EQ(-1, abc.compare(2, 1, abd, 2, 9));  // "c" < "d"
    EXPECT_EQ(-1, abc.compare(9, 1, ZAV_TEXT("a")));  // past the end: an empty range
    EXPECT_EQ(1, abc.compare(0, 1, abd, 9, 1));
}

TEST(StringSearch, RightPastTheLengthIsEmptyLeftIsWhole) {
    const ZAVString abc(ZAV_TEXT("abc"));
    const struct {
        unsigned n;
        const WCHAR *left, *right;
    } cases[] = {{0, ZAV_TEXT(""), ZAV_TEXT("")},
                 {2, ZAV_TEXT("ab"), ZAV_TEXT("bc")},
                 {3, ZAV_TEXT("abc"), ZAV_TEXT("abc")},
                 {4, ZAV_TEXT("abc"), ZAV_TEXT("")}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.left, Text(abc.Left(c.n))) << c.n;
        EXPECT_EQ(c.right, Text(abc.Right(c.n))) << c.n;
    }
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

// Spaces only; a string trimmed to nothing gives its buffer back.
TEST(StringSearch, TrimmingRemovesSpacesOnly) {
    const struct {
        const WCHAR* text;
        void (ZAVString::*trim)();
        const WCHAR* result;
    } cases[] = {{ZAV_TEXT("  a b  "), &ZAVString::Trim, ZAV_TEXT("a b")},
                 {ZAV_TEXT("    "), &ZAVString::Trim, ZAV_TEXT("")},
                 {ZAV_TEXT("\t a \n"), &ZAVString::Trim, ZAV_TEXT("\t a \n")},
                 {ZAV_TEXT("\t a \n"), &ZAVString::LTrim, ZAV_TEXT("\t a \n")},
                 {ZAV_TEXT("  x  "), &ZAVString::LTrim, ZAV_TEXT("x  ")},
                 {ZAV_TEXT("  x  "), &ZAVString::RTrim, ZAV_TEXT("  x")},
                 {ZAV_TEXT("   "), &ZAVString::RTrim, ZAV_TEXT("")},
                 {ZAV_TEXT("   "), &ZAVString::LTrim, ZAV_TEXT("")},
                 {ZAV_TEXT(""), &ZAVString::Trim, ZAV_TEXT("")}};
    for (const auto& c : cases) {
        ZAVString s(c.text);
        (s.*c.trim)();
        EXPECT_EQ(c.result, Text(s)) << (&c - cases);
        if (s.empty()) {
            EXPECT_EQ(0u, s.capacity()) << (&c - cases);
        }
    }
}

TEST(StringSearch, ForcedSuffixAndPrefixAreAddedOnlyWhenMissing) {
    ZAVString dir(ZAV_TEXT("dir")), none;
    dir.ForceSuffix(ZAV_TEXT('\\'));
    dir.ForceSuffix(ZAV_TEXT('\\'));
    none.ForceSuffix(ZAV_TEXT('\\'));
    EXPECT_EQ(ZAV_TEXT("dir\\"), Text(dir));
    EXPECT_EQ(ZAV_TEXT("\\"), Text(none));

    const ZAVString ab(ZAV_TEXT("ab"));
    const struct {
        const WCHAR *text, *result;
    } cases[] = {{ZAV_TEXT("abc"), ZAV_TEXT("abc")},
                 {ZAV_TEXT("xbc"), ZAV_TEXT("abxbc")},
                 {ZAV_TEXT("a"), ZAV_TEXT("aba")},
                 {ZAV_TEXT("ABc"), ZAV_TEXT("abABc")}};  // the case counts
    for (const auto& c : cases) {
        ZAVString s(c.text);
        s.ForcePrefix(ab);
        EXPECT_EQ(c.result, Text(s));
    }
    ZAVString self(ZAV_TEXT("abc"));
    self.ForcePrefix(ZAVString());
    self.ForcePrefix(self);
    EXPECT_EQ(ZAV_TEXT("abc"), Text(self));
}

}  // namespace
