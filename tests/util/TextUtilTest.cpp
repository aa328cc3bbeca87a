#include <locale.h>

#include <random>
#include <vector>

#include "UtilTestSupport.h"

namespace {

TEST(Caseless, MatchFoldsAsciiOnlyAndCompareOrdersUpperCasedCopies) {
    const struct {
        WString left, right;
        int match, order;
    } cases[] = {
        {ZAV_TEXT("Trace"), ZAV_TEXT("TRACE"), 1, 0},
        {ZAV_TEXT("abc"), ZAV_TEXT("abcd"), 0, -1},
        {ZAV_TEXT("abc"), ZAV_TEXT("ABD"), 0, -1},
        {ZAV_TEXT("b"), ZAV_TEXT("A"), 0, 1},
        {ZAV_TEXT(""), ZAV_TEXT(""), 1, 0},
        {ZAV_TEXT("\u00e9"), ZAV_TEXT("\u00c9"), 0, 1},  // é, É: not folded by the default locale
        {ZAV_TEXT("["), ZAV_TEXT("{"), 0, -1},            // 0x5B and 0x7B differ by the case bit only
        {ZAV_TEXT("\u0141"), ZAV_TEXT("\u0161"), 0, -1},  // units above 0xFF that share a low byte
        {ZAV_TEXT("_"), ZAV_TEXT("a"), 0, 1},             // after 'A'..'Z', before 'a'..'z': folded, after both
        {ZAV_TEXT("\uffff"), ZAV_TEXT("z"), 0, 1},
        {WString(ZAV_TEXT("a\0b"), 3), WString(ZAV_TEXT("A\0B"), 3), 1, 0},  // zeros count in a ZAVString
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(ZAV_MatchCaseless(Z(c.left), Z(c.right)), c.match);
        EXPECT_EQ(ZAV_CompareCaseless(Z(c.left), Z(c.right)), c.order);
    }
    EXPECT_EQ(ZAV_MatchCaseless(ZAVString(), static_cast<const WCHAR*>(nullptr)), 1);
    EXPECT_EQ(ZAV_MatchCaseless(nullptr, ZAV_TEXT("x")), 0);
}

// What the model below leaves out: an empty or null find, a null
// replacement, and a zero that ends the search inside a ZAVString.
TEST(ReplaceString, EmptyFindIsInvalidNullReplacementRemovesAndEmbeddedZeroEndsTheSearch) {
    ZAVString text(ZAV_TEXT("abc"));
    DWORD count = 7;
    EXPECT_EQ(ZAV_ReplaceString(text, ZAV_TEXT(""), ZAV_TEXT("x"), &count, 0, 0), 87u);
    EXPECT_EQ(ZAV_ReplaceString(text, nullptr, ZAV_TEXT("x"), &count, 0, 0), 87u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Text(text), ZAV_TEXT("abc"));
    WCHAR buffer[8] = ZAV_TEXT("a-b");
    DWORD length = 8;
    EXPECT_EQ(ZAV_ReplaceString(buffer, &length, ZAV_TEXT(""), ZAV_TEXT("x"), &count, 0, 0), 87u);
    EXPECT_EQ(WString(buffer), ZAV_TEXT("a-b"));

    ZAVString banana(ZAV_TEXT("banana"));
    EXPECT_EQ(ZAV_ReplaceString(banana, ZAV_TEXT("a"), nullptr, &count, 0, 2), 0u);
    EXPECT_EQ(Text(banana), ZAV_TEXT("bnna"));
    EXPECT_EQ(count, 2u);

    ZAVString zeroed = Z(WString(ZAV_TEXT("a-a\0a-a"), 7));
    EXPECT_EQ(ZAV_ReplaceString(zeroed, ZAV_TEXT("a"), ZAV_TEXT("b"), &count, 0, 0), 0u);
    EXPECT_EQ(Text(zeroed), WString(ZAV_TEXT("b-b\0a-a"), 7));
    EXPECT_EQ(count, 2u);
}

// A model of the replacement over WString, against random texts,
// patterns and limits; the buffer form must agree with the string form.
TEST(ReplaceString, RandomAgainstAModel) {
    std::mt19937 random(61206);
    auto word = [&](int maxLength) {
        WString w;
        const int n = static_cast<int>(random() % (maxLength + 1));
        for (int i = 0; i < n; ++i) w += static_cast<WCHAR>(ZAV_TEXT('a') + random() % 3);
        return w;
    };
    for (int round = 0; round < 5000; ++round) {
        const WString text = word(30), find = word(3), replacement = word(3);
        const DWORD maxCount = random() % 4 == 0 ? random() % 3 : 0;

        WString model;
        DWORD modelCount = 0;
        size_t pos = 0;
        while (!find.empty() && pos < text.size() && (maxCount == 0 || modelCount < maxCount)) {
            const size_t hit = text.find(find, pos);
            if (hit == WString::npos) break;
            model += text.substr(pos, hit - pos) + replacement;
            ++modelCount;
            pos = hit + find.size();
        }
        model += text.substr(pos);

        ZAVString s = Z(text);
        DWORD count = 77;
        const DWORD result = ZAV_ReplaceString(s, find.c_str(), replacement.c_str(), &count, 0, maxCount);
        if (find.empty()) {
            EXPECT_EQ(result, 87u);
            EXPECT_EQ(Text(s), text);
            continue;
        }
        ASSERT_EQ(result, 0u);
        ASSERT_EQ(Text(s), model);
        ASSERT_EQ(count, modelCount);

        std::vector<WCHAR> buffer(text.begin(), text.end());
        buffer.resize(64, 0);
        DWORD bufferLength = static_cast<DWORD>(random() % 40) + 1;
        const DWORD given = bufferLength;
        const DWORD bufferResult =
            ZAV_ReplaceString(buffer.data(), &bufferLength, find.c_str(), replacement.c_str(), &count, 0, maxCount);
        if (model.size() + 1 <= given) {
            EXPECT_EQ(bufferResult, 0u);
            EXPECT_EQ(WString(buffer.data()), model);
        } else {
            EXPECT_EQ(bufferResult, 8u);
            EXPECT_EQ(bufferLength, model.size() + 1);
            EXPECT_EQ(WString(buffer.data()), text);
        }
    }
}

TEST(Trim, SpacesOnlyAndNothingOutsideTheText) {
    struct Case {
        const WCHAR *before, *after;
    };
    const Case cases[] = {{ZAV_TEXT("  ab c  "), ZAV_TEXT("ab c")}, {ZAV_TEXT("   "), ZAV_TEXT("")}, {ZAV_TEXT(""), ZAV_TEXT("")}, {ZAV_TEXT("x"), ZAV_TEXT("x")},
                          {ZAV_TEXT(" x"), ZAV_TEXT("x")},          {ZAV_TEXT("x "), ZAV_TEXT("x")}, {ZAV_TEXT("\tx\t"), ZAV_TEXT("\tx\t")}, {ZAV_TEXT("a  b"), ZAV_TEXT("a  b")}};
    for (const Case& c : cases) {
        // Guards on both sides catch a read or write before the text or past its end.
        std::vector<WCHAR> buffer(32, ZAV_TEXT('#'));
        buffer[0] = ZAV_TEXT('!');
        WString before(c.before);
        std::copy(before.begin(), before.end(), buffer.begin() + 1);
        buffer[1 + before.size()] = 0;
        ZAV_Trim(buffer.data() + 1);
        EXPECT_EQ(WString(buffer.data() + 1), c.after);
        EXPECT_EQ(buffer[0], ZAV_TEXT('!'));
        EXPECT_EQ(buffer[2 + before.size()], ZAV_TEXT('#'));
    }
}

TEST(OverlappedStringCopy, CopiesForwardWithoutATerminator) {
    WCHAR text[] = ZAV_TEXT("..abcdef");
    ZAV_OverlappedStringCopy(text, text + 2, 4);
    EXPECT_EQ(WString(text), ZAV_TEXT("abcdcdef"));
    WCHAR shortSource[] = ZAV_TEXT("xy\0zz");
    WCHAR dest[] = ZAV_TEXT("123456");
    // Both pointers stop at the terminator, so it is written once, in place.
    ZAV_OverlappedStringCopy(dest, shortSource, 5);
    EXPECT_EQ(WString(dest, 6), WString(ZAV_TEXT("xy\0") ZAV_TEXT("456"), 6));
}

TEST(ResizeString, KeepsWhatFitsAndAcceptsNullOrEmpty) {
    WCHAR* text = static_cast<WCHAR*>(ZAV_MemoryGet(14, 0));
    lstrcpyW(text, ZAV_TEXT("abcdef"));
    EXPECT_EQ(ZAV_ResizeString(&text, 2), 0u);
    EXPECT_EQ(WString(text), ZAV_TEXT("ab"));
    EXPECT_EQ(ZAV_ResizeString(&text, 40), 0u);
    EXPECT_EQ(WString(text), ZAV_TEXT("ab"));
    lstrcpyW(text, WString(40, ZAV_TEXT('z')).c_str());  // the new block really holds 40 characters
    ZAV_MemoryFree(text);

    WCHAR* none = nullptr;
    EXPECT_EQ(ZAV_ResizeString(&none, 5), 0u);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none[0], 0);
    const WCHAR* before = none;
    EXPECT_EQ(ZAV_ResizeString(&none, 1), 0u);
    EXPECT_NE(none, before);
    EXPECT_EQ(none[0], 0);
    ZAV_MemoryFree(none);

    WCHAR* kept = static_cast<WCHAR*>(ZAV_MemoryGet(4, 0));
    lstrcpyW(kept, ZAV_TEXT("k"));
    EXPECT_EQ(ZAV_ResizeString(&kept, 0xFFFFFFF0u), 14u);
    EXPECT_EQ(WString(kept), ZAV_TEXT("k"));
    ZAV_MemoryFree(kept);
}

TEST(ResizeBuffer, CopiesTheSmallerSizeAndReleasesTheOld) {
    BYTE* buffer = nullptr;
    DWORD size = 0;
    ASSERT_EQ(ZAV_ResizeBuffer(&buffer, &size, 8), 0u);
    EXPECT_EQ(size, 8u);
    for (int i = 0; i < 8; ++i) buffer[i] = static_cast<BYTE>(i + 1);
    ASSERT_EQ(ZAV_ResizeBuffer(&buffer, &size, 3), 0u);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[2], 3);
    ASSERT_EQ(ZAV_ResizeBuffer(&buffer, &size, 100), 0u);
    EXPECT_EQ(buffer[1], 2);
    buffer[99] = 1;
    // Size 0 gets no block from the memory manager: nothing changes.
    BYTE* before = buffer;
    EXPECT_EQ(ZAV_ResizeBuffer(&buffer, &size, 0), 14u);
    EXPECT_EQ(buffer, before);
    EXPECT_EQ(size, 100u);
    ZAV_MemoryFree(buffer);
}

TEST(SubStrCompare, RangesOrdinalAndClamped) {
    WCHAR a[] = ZAV_TEXT("xxabcyy"), b[] = ZAV_TEXT("abd");
    EXPECT_EQ(ZAV_SubStrCompare(a, 3, 2, b, 3, 0), -1);
    EXPECT_EQ(ZAV_SubStrCompare(a, 2, 2, b, 2, 0), 0);
    EXPECT_EQ(ZAV_SubStrCompare(b, -1, 0, a, 3, 2), 1);
    EXPECT_EQ(ZAV_SubStrCompare(a, 100, 5, b, 0, 0), 1);   // "yy" against ""
    EXPECT_EQ(ZAV_SubStrCompare(a, 3, 50, nullptr, -1, 0), 0);  // both empty
}

TEST(LeftRight, RightWrapsToEmptyPastTheLength) {
    const ZAVString s(ZAV_TEXT("abc"));
    const struct {
        unsigned n;
        const WCHAR *left, *right;
    } cases[] = {{0, ZAV_TEXT(""), ZAV_TEXT("")}, {2, ZAV_TEXT("ab"), ZAV_TEXT("bc")},
                 {3, ZAV_TEXT("abc"), ZAV_TEXT("abc")}, {5, ZAV_TEXT("abc"), ZAV_TEXT("")}};
    for (const auto& c : cases) {
        EXPECT_EQ(Text(ZAV_Left(s, c.n)), c.left) << c.n;
        EXPECT_EQ(Text(ZAV_Right(s, c.n)), c.right) << c.n;
    }
}

}  // namespace
