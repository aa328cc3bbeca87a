#include <locale.h>

#include <random>
#include <vector>

#include "UtilTestSupport.h"

namespace {

TEST(Caseless, MatchFoldsAsciiOnlyAndNeedsEqualLengths) {
    EXPECT_EQ(ZAV_MatchCaseless(ZAVString(u"Trace"), ZAVString(u"TRACE")), 1);
    EXPECT_EQ(ZAV_MatchCaseless(ZAVString(u"abc"), u"abcd"), 0);
    EXPECT_EQ(ZAV_MatchCaseless(u"", u""), 1);
    EXPECT_EQ(ZAV_MatchCaseless(ZAVString(), static_cast<const WCHAR*>(nullptr)), 1);
    EXPECT_EQ(ZAV_MatchCaseless(nullptr, u"x"), 0);
    EXPECT_EQ(ZAV_MatchCaseless(u"\u00e9", u"\u00c9"), 0);  // é, É: not folded by the default locale
    EXPECT_EQ(ZAV_MatchCaseless(u"[", u"{"), 0);             // 0x5B and 0x7B differ by the case bit only
    EXPECT_EQ(ZAV_MatchCaseless(u"\u0141", u"\u0161"), 0);  // units above 0xFF that share a low byte
    EXPECT_EQ(ZAV_MatchCaseless(u"\u0161", u"\u0161"), 1);
    // Embedded zeros count in a ZAVString's length.
    EXPECT_EQ(ZAV_MatchCaseless(Z(std::u16string(u"a\0b", 3)), Z(std::u16string(u"A\0B", 3))), 1);
}

TEST(Caseless, CompareOrdersUpperCasedCopiesByCodeUnit) {
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(u"abc"), ZAVString(u"ABD")), -1);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(u"ABC"), ZAVString(u"abc")), 0);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(u"b"), ZAVString(u"A")), 1);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(u"ab"), ZAVString(u"AB ")), -1);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(), ZAVString()), 0);
    // '_' (0x5F) sorts after 'A'..'Z' but before 'a'..'z': folded, it is after both.
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(u"_"), ZAVString(u"a")), 1);
    EXPECT_EQ(ZAV_CompareCaseless(ZAVString(u"\uffff"), ZAVString(u"z")), 1);
}

TEST(ReplaceString, OccurrencesLeftToRightWithoutOverlapAndWithLimit) {
    struct Case {
        const char16_t *text, *find, *replacement;
        DWORD maxCount;
        const char16_t* result;
        DWORD count;
    };
    const Case cases[] = {
        {u"aaaa", u"aaa", u"b", 0, u"ba", 1},
        {u"banana", u"a", u"", 0, u"bnn", 3},
        {u"banana", u"a", nullptr, 2, u"bnna", 2},
        {u"banana", u"an", u"AN", 0, u"bANANa", 2},
        {u"abc", u"x", u"y", 0, u"abc", 0},
        {u"aa", u"a", u"aa", 0, u"aaaa", 2},  // inserted text is not searched again
        {u"", u"a", u"b", 0, u"", 0},
        {u"abab", u"ab", u"", 0, u"", 2},
        {u"xyz", u"xyz", u"12345", 1, u"12345", 1},
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
    ZAVString text(u"abc");
    DWORD count = 7;
    EXPECT_EQ(ZAV_ReplaceString(text, u"", u"x", &count, 0, 0), 87u);
    EXPECT_EQ(ZAV_ReplaceString(text, nullptr, u"x", &count, 0, 0), 87u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Text(text), u"abc");

    ZAVString zeroed = Z(std::u16string(u"a-a\0a-a", 7));
    EXPECT_EQ(ZAV_ReplaceString(zeroed, u"a", u"b", &count, 0, 0), 0u);
    EXPECT_EQ(Text(zeroed), std::u16string(u"b-b\0a-a", 7));
    EXPECT_EQ(count, 2u);
}

TEST(ReplaceString, BufferFormReportsTheNeededSize) {
    WCHAR buffer[16] = u"a-b";
    DWORD length = 4, count = 0;
    // "a--b" needs 5 characters with its terminator.
    EXPECT_EQ(ZAV_ReplaceString(buffer, &length, u"-", u"--", &count, 0, 0), 8u);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(std::u16string(buffer), u"a-b");
    EXPECT_EQ(ZAV_ReplaceString(buffer, &length, u"-", u"--", &count, 0, 0), 0u);
    EXPECT_EQ(std::u16string(buffer), u"a--b");
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(ZAV_ReplaceString(buffer, &length, u"", u"x", &count, 0, 0), 87u);
    EXPECT_EQ(std::u16string(buffer), u"a--b");
}

// A model of the replacement over std::u16string, against random texts,
// patterns and limits; the buffer form must agree with the string form.
TEST(ReplaceString, RandomAgainstAModel) {
    std::mt19937 random(61206);
    auto word = [&](int maxLength) {
        std::u16string w;
        const int n = static_cast<int>(random() % (maxLength + 1));
        for (int i = 0; i < n; ++i) w += static_cast<char16_t>(u'a' + random() % 3);
        return w;
    };
    for (int round = 0; round < 5000; ++round) {
        const std::u16string text = word(30), find = word(3), replacement = word(3);
        const DWORD maxCount = random() % 4 == 0 ? random() % 3 : 0;

        std::u16string model;
        DWORD modelCount = 0;
        size_t pos = 0;
        while (!find.empty() && pos < text.size() && (maxCount == 0 || modelCount < maxCount)) {
            const size_t hit = text.find(find, pos);
            if (hit == std::u16string::npos) break;
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
            EXPECT_EQ(std::u16string(buffer.data()), model);
        } else {
            EXPECT_EQ(bufferResult, 8u);
            EXPECT_EQ(bufferLength, model.size() + 1);
            EXPECT_EQ(std::u16string(buffer.data()), text);
        }
    }
}

TEST(Trim, SpacesOnlyAndNothingOutsideTheText) {
    struct Case {
        const char16_t *before, *after;
    };
    const Case cases[] = {{u"  ab c  ", u"ab c"}, {u"   ", u""}, {u"", u""}, {u"x", u"x"},
                          {u" x", u"x"},          {u"x ", u"x"}, {u"\tx\t", u"\tx\t"}, {u"a  b", u"a  b"}};
    for (const Case& c : cases) {
        // Guards on both sides catch a read or write before the text or past its end.
        std::vector<WCHAR> buffer(32, u'#');
        buffer[0] = u'!';
        std::u16string before(c.before);
        std::copy(before.begin(), before.end(), buffer.begin() + 1);
        buffer[1 + before.size()] = 0;
        ZAV_Trim(buffer.data() + 1);
        EXPECT_EQ(std::u16string(buffer.data() + 1), c.after);
        EXPECT_EQ(buffer[0], u'!');
        EXPECT_EQ(buffer[2 + before.size()], u'#');
    }
}

TEST(OverlappedStringCopy, CopiesForwardWithoutATerminator) {
    WCHAR text[] = u"..abcdef";
    ZAV_OverlappedStringCopy(text, text + 2, 4);
    EXPECT_EQ(std::u16string(text), u"abcdcdef");
    WCHAR shortSource[] = u"xy\0zz";
    WCHAR dest[] = u"123456";
    // Both pointers stop at the terminator, so it is written once, in place.
    ZAV_OverlappedStringCopy(dest, shortSource, 5);
    EXPECT_EQ(std::u16string(dest, 6), std::u16string(u"xy\0" u"456", 6));
}

TEST(ResizeString, KeepsWhatFitsAndAcceptsNullOrEmpty) {
    WCHAR* text = static_cast<WCHAR*>(ZAV_MemoryGet(14, 0));
    lstrcpyW(text, u"abcdef");
    EXPECT_EQ(ZAV_ResizeString(&text, 2), 0u);
    EXPECT_EQ(std::u16string(text), u"ab");
    EXPECT_EQ(ZAV_ResizeString(&text, 40), 0u);
    EXPECT_EQ(std::u16string(text), u"ab");
    lstrcpyW(text, std::u16string(40, u'z').c_str());  // the new block really holds 40 characters
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
    lstrcpyW(kept, u"k");
    EXPECT_EQ(ZAV_ResizeString(&kept, 0xFFFFFFF0u), 14u);
    EXPECT_EQ(std::u16string(kept), u"k");
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
    WCHAR a[] = u"xxabcyy", b[] = u"abd";
    EXPECT_EQ(ZAV_SubStrCompare(a, 3, 2, b, 3, 0), -1);
    EXPECT_EQ(ZAV_SubStrCompare(a, 2, 2, b, 2, 0), 0);
    EXPECT_EQ(ZAV_SubStrCompare(b, -1, 0, a, 3, 2), 1);
    EXPECT_EQ(ZAV_SubStrCompare(a, 100, 5, b, 0, 0), 1);   // "yy" against ""
    EXPECT_EQ(ZAV_SubStrCompare(a, 3, 50, nullptr, -1, 0), 0);  // both empty
}

TEST(LeftRight, RightWrapsToEmptyPastTheLength) {
    const ZAVString s(u"abc");
    EXPECT_EQ(Text(ZAV_Left(s, 5)), u"abc");
    EXPECT_EQ(Text(ZAV_Left(s, 2)), u"ab");
    EXPECT_EQ(Text(ZAV_Right(s, 2)), u"bc");
    EXPECT_EQ(Text(ZAV_Right(s, 3)), u"abc");
    EXPECT_EQ(Text(ZAV_Right(s, 5)), u"");
    EXPECT_EQ(Text(ZAV_Right(s, 0)), u"");
}

}  // namespace
