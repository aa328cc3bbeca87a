// ANSI conversion of ZAVString: ownership of the ANSI form and the counts.
#include <string.h>

#include <string>

#include "StringTestSupport.h"

namespace {

TEST(StringAnsi, AnsiStringIsOwnedTerminatedAndRemadeOnEachCall) {
    InspectableString s(ZAV_TEXT("abc"));
    const char* first = s.ANSIString();
    EXPECT_EQ(0, memcmp(first, "abc", 4));
    EXPECT_EQ(first, s.ansiBuffer());
    s[1] = ZAV_TEXT('X');
    EXPECT_STREQ("abc", s.ansiBuffer());  // an edit in place leaves the old text
    EXPECT_STREQ("aXc", s.ANSIString());
    s.append(20, ZAV_TEXT('-'));  // a reallocation drops it
    EXPECT_EQ(nullptr, s.ansiBuffer());
    EXPECT_STREQ("", ZAVString().ANSIString());
    ZAVString emptied(ZAV_TEXT("x"));
    emptied.ANSIString();
    emptied.erase();
    EXPECT_STREQ("", emptied.ANSIString());
}

TEST(StringAnsi, CountsTakeConvertedCharactersAndNeverMoreThanTheText) {
    EXPECT_EQ(ZAV_TEXT("ab"), Text(ZAVString("abcd", 2)));
    EXPECT_EQ(ZAV_TEXT("abcd"), Text(ZAVString("abcd", 10)));
    ZAVString s("xy");
    s.append("abcd", 3);
    s.append("", 5);
    s.append("q", 0);
    EXPECT_EQ(ZAV_TEXT("xyabc"), Text(s));
    s.assign("zz", 0);
    EXPECT_EQ(0u, s.size());
    EXPECT_EQ(15u, s.capacity());
    s = "hello";
    s += "!";
    EXPECT_EQ(ZAV_TEXT("hello!"), Text(s));
    EXPECT_TRUE(ThrowsWithMessage<std::length_error>([&] { s.append("a", 0xFFFFFFFFu); },
                                                     "ZAVString::append invalid length parameter"));
}

// A count at or past max_size() fails in the growth step before anything is
// converted, as the wide forms do, and leaves the string as it was.
TEST(StringAnsi, CountsAtTheLimitFailTheGrowthCheck) {
    const char* const grow = "ZAVString::_Grow invalid length parameter";
    ZAVString s("xy");
    EXPECT_TRUE(ThrowsWithMessage<std::length_error>([&] { s.assign("abc", 0x7FFFFFFDu); }, grow));
    EXPECT_TRUE(ThrowsWithMessage<std::length_error>([&] { s.assign("abc", 0xFFFFFFFEu); }, grow));
    EXPECT_TRUE(ThrowsWithMessage<std::length_error>([&] { s.append("abc", 0x7FFFFFFBu); }, grow));
    EXPECT_TRUE(ThrowsWithMessage<std::length_error>([&] { ZAVString("abc", 0x80000000u); }, grow));
    EXPECT_EQ(ZAV_TEXT("xy"), Text(s));
    s.append("abc", 0x7FFFFFFAu);  // a total just below the limit passes; the text is short
    EXPECT_EQ(ZAV_TEXT("xyabc"), Text(s));
}

TEST(StringAnsi, TheStringsOwnAnsiFormMayBeItsSource) {
    ZAVString s(ZAV_TEXT("abcdefghijklm"));
    s.append(s.ANSIString());  // grows: the ANSI buffer is released on the way
    EXPECT_EQ(ZAV_TEXT("abcdefghijklmabcdefghijklm"), Text(s));
    s.assign(s.ANSIString() + 20);
    EXPECT_EQ(ZAV_TEXT("hijklm"), Text(s));
}

}  // namespace
