#include <locale.h>

#include <random>
#include <vector>

#include "UtilTestSupport.h"

namespace {

TEST(Caseless, MatchFoldsAsciiOnlyAndNeedsEqualLengths) {
    EXPECT_EQ(ZAV_MatchCaseless(ZAVString(ZAV_TEXT("Trace")), ZAVString(ZAV_TEXT("TRACE"))), 1);
    EXPECT_EQ(ZAV_MatchCaseless(ZAVString(ZAV_TEXT("abc")), ZAV_TEXT("abcd")), 0);
    EXPECT_EQ(ZAV_MatchCaseless(ZAV_TEXT(""), ZAV_TEXT("")), 1);
    EXPECT_EQ(ZAV_MatchCaseless(ZAVString(), static_cast<const WCHAR*>(nullptr)), 1);
    EXPECT_EQ(ZAV_MatchCaseless(nullptr, ZAV_TEXT("x")), 0);
    EXPECT_EQ(ZAV_MatchCaseless(ZAV_TEXT("\u00e9"), ZAV_TEXT("\u00c9")), 0);  // é, É: not folded by the default locale
    EXPECT_EQ(ZAV_MatchCaseless(ZAV_TEXT("["), ZAV_TEXT("{")), 0);             // 0x5B and 0x7B differ by the case bit only
    EXPECT_EQ(ZAV_MatchCaseless(ZAV_TEXT("\u0141"), ZAV_TEXT("\u0161")), 0);  // units above 0xFF that share a low byte
    EXPECT_EQ(ZAV_MatchCaseless(ZAV_TEXT("\u0161"), ZAV_TEXT("\u0161")), 1);
    // Embedded zeros count in a ZAVString's length.
    EXPECT_EQ(ZAV_MatchCaseless(Z(WString(ZAV_TEXT("a\0b"), 3)), Z(WString(ZAV_TEXT("A\0B"), 3))), 1);
}

TEST(Caseless, CompareOrdersUpperCasedCopiesByCodeUnit) {
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(ZAV_TEXT("abc")), ZAVString(ZAV_TEXT("ABD"))), -1);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(ZAV_TEXT("ABC")), ZAVString(ZAV_TEXT("abc"))), 0);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(ZAV_TEXT("b")), ZAVString(ZAV_TEXT("A"))), 1);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(ZAV_TEXT("ab")), ZAVString(ZAV_TEXT("AB "))), -1);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(), ZAVString()), 0);
    // '_' (0x5F) sorts after 'A'..'Z' but before 'a'..'z': folded, it is after both.
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(ZAV_TEXT("_")), ZAVString(ZAV_TEXT("a"))), 1);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(ZAV_TEXT("\uffff")), ZAVString(ZAV_TEXT("z"))), 1);
}

TEST(ReplaceString, OccurrencesLeftToRightWithoutOverlapAndWithLimit) {
    struct Case {
        const WCHAR *text, *find, *replacement;
        DWORD maxCount;
        const WCHAR* result;
        DWORD count;
    };
    const Case cases[] = {
        {ZAV_TEXT("aaaa"), ZAV_TEXT("aaa"), ZAV_TEXT("b"), 0, ZAV_TEXT("ba"), 1},
        {ZAV_TEXT("banana"), ZAV_TEXT("a"), ZAV_TEXT(""), 0, ZAV_TEXT("bnn"), 3},
        {ZAV_TEXT("banana"), ZAV_TEXT("a"), nullptr, 2, ZAV_TEXT("bnna"), 2},
        {ZAV_TEXT("banana"), ZAV_TEXT("an"), ZAV_TEXT("AN"), 0, ZAV_TEXT("bANANa"), 2},
        {ZAV_TEXT("abc"), ZAV_TEXT("x"), ZAV_TEXT("y"), 0, ZAV_TEXT("abc"), 0},
        {ZAV_TEXT("aa"), ZAV_TEXT("a"), ZAV_TEXT("aa"), 0, ZAV_TEXT("aaaa"), 2},  // inserted text is not searched again
        {ZAV_TEXT(""), ZAV_TEXT("a"), ZAV_TEXT("b"), 0, ZAV_TEXT(""), 0},
        {ZAV_TEXT("abab"), ZAV_TEXT("ab"), ZAV_TEXT(""), 0, ZAV_TEXT(""), 2},
        {ZAV_TEXT("xyz"), ZAV_TEXT("xyz"), ZAV_TEXT("12345"), 1, ZAV_TEXT("12345"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        ZAVString text(c.text);
        DWORD count = 99;
        EXPECT_EQ(ZAV_ReplaceString(text, c.find, c.replacement, &count, 0, c.maxCount), 0u);
        EXPECT_EQ(Text(text), c.result);
        EXPECT_EQ(count, c.count);
    }
}

TEST(ReplaceString, EmptyFindIsInvalidAndEmbeddedZeroEndsTheSearch) {
    ZAVString text(ZAV_TEXT("abc"));
    DWORD count = 7;
    EXPECT_EQ(ZAV_ReplaceString(text, ZAV_TEXT(""), ZAV_TEXT("x"), &count, 0, 0), 87u);
    EXPECT_EQ(ZAV_ReplaceString(text, nullptr, ZAV_TEXT("x"), &count, 0, 0), 87u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Text(text), ZAV_TEXT("abc"));

    ZAVString zeroed = Z(WString(ZAV_TEXT("a-a\0a-a"), 7));
    EXPECT_EQ(ZAV_ReplaceString(zeroed, ZAV_TEXT("a"), ZAV_TEXT("b"), &count, 0, 0), 0u);
    EXPECT_EQ(Text(zeroed), WString(ZAV_TEXT("b-b\0a-a"), 7));
    EXPECT_EQ(count, 2u);
}

TEST(ReplaceString, BufferFormReportsTheNeededSize) {
    WCHAR buffer[16] = ZAV_TEXT("a-b");
    DWORD length = 4, count = 0;
    // "a--b" needs 5 characters with its terminator.
    EXPECT_EQ(ZAV_ReplaceString(buffer, &length, ZAV_TEXT("-"), ZAV_TEXT("--"), &count, 0, 0), 8u);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(WString(buffer), ZAV_TEXT("a-b"));
    EXPECT_EQ(ZAV_ReplaceString(buffer, &length, ZAV_TEXT("-"), ZAV_TEXT("--"), &count, 0, 0), 0u);
    EXPECT_EQ(WString(buffer), ZAV_TEXT("a--b"));
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(ZAV_ReplaceString(buffer, &length, ZAV_TEXT(""), ZAV_TEXT("x"), &count, 0, 0), 87u);
    EXPECT_EQ(WString(buffer), ZAV_TEXT("a--b"));
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
    EXPECT_EQ(Text(ZAV_Left(s, 5)), ZAV_TEXT("abc"));
    EXPECT_EQ(Text(ZAV_Left(s, 2)), ZAV_TEXT("ab"));
    EXPECT_EQ(Text(ZAV_Right(s, 2)), ZAV_TEXT("bc"));
    EXPECT_EQ(Text(ZAV_Right(s, 3)), ZAV_TEXT("abc"));
    EXPECT_EQ(Text(ZAV_Right(s, 5)), ZAV_TEXT(""));
    EXPECT_EQ(Text(ZAV_Right(s, 0)), ZAV_TEXT(""));
}

}  // namespace
