// What the differential run leaves out: the empty string, element access,
// buffer addresses and reserve, the length limits, null and counted texts,
// the ANSI buffer's life and the memory manager under the buffers.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "WString.h"
#include "foundation/MemoryFixture.h"

namespace {

// What the callable throws as E, "another type" or "nothing".
template <typename E, typename F>
std::string Thrown(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (...) {
        return "another type";
    }
    return "nothing";
}

// Exposes the protected members for tests, as a host's derived class may.
class InspectableString : public ZAVString {
public:
    using ZAVString::ZAVString;
    using ZAVString::_Grow;
    using ZAVString::_Nullstr;
    const WCHAR* buffer() const { return m_Buffer; }
    const char* ansiBuffer() const { return m_ANSIBuffer; }
};

const WCHAR* const kAbc = ZAV_TEXT("abc");

// The wide and the ANSI forms alike: nothing is converted or changed first.
TEST(StringStorage, LengthLimitsThrowTheirFamilysMessageAndChangeNothing) {
    const char* const grow = "ZAVString::_Grow invalid length parameter";
    const unsigned all = 0xFFFFFFFFu;
    ZAVString one(1, ZAV_TEXT('x')), none;
    const WCHAR y = ZAV_TEXT('y');
    const struct {
        std::function<void()> call;
        const char* message;
    } cases[] = {
        {[&] { one.assign(all, y); }, "ZAVString::assign invalid length parameter"},
        {[&] { one.append(all, y); }, "ZAVString::append invalid length parameter"},
        {[&] { one.insert(0u, all, y); }, "ZAVString::insert invalid length parameter"},
        {[&] { one.replace(0u, 0u, all, y); }, "ZAVString::replace invalid length parameter"},
        {[&] { one.append("a", all); }, "ZAVString::append invalid length parameter"},
        {[&] { one.replace(0u, 1u, all, y); }, grow},  // replacing the one character passes replace's check
        {[&] { none.append(0x80000000u, y); }, grow},
        {[&] { none.reserve(0x7FFFFFFDu); }, grow},
        {[&] { one.assign("abc", 0x7FFFFFFDu); }, grow},
        {[&] { one.assign("abc", 0xFFFFFFFEu); }, grow},
        {[&] { one.append("abc", 0x7FFFFFFCu); }, grow},
        {[&] { ZAVString("abc", 0x80000000u); }, grow},
    };
    for (const auto& c : cases) EXPECT_EQ(Thrown<std::length_error>(c.call), c.message);
    EXPECT_EQ(ZAV_TEXT("x"), Text(one));
    EXPECT_EQ(15u, one.capacity());
    EXPECT_EQ(0u, none.capacity());
    one.append("abc", 0x7FFFFFFBu);  // a total just below the limit passes; the text is short
    EXPECT_EQ(ZAV_TEXT("xabc"), Text(one));
    EXPECT_EQ(0x7FFFFFFDu, none.max_size());  // the first length refused
    try {
        none.reserve(0x7FFFFFF0u);  // 0x7FFFFFF0 | 15 would be 0x7FFFFFFF: the request itself
        EXPECT_EQ(0x7FFFFFF0u, none.capacity());
    } catch (const std::bad_alloc&) {
        GTEST_SKIP() << "no 4 GiB of address space for the buffer";
    }
}

TEST(StringStorage, TheSharedEmptyStringAndTheGrowthStepForDerivedClasses) {
    InspectableString s;
    EXPECT_EQ(InspectableString::_Nullstr(), s.c_str());
    EXPECT_EQ(&s.at(0), &ZAVString(kAbc)[3]);
    EXPECT_EQ(Thrown<std::out_of_range>([&] { ZAVString(kAbc).at(4); }), "ZAVString::at invalid position argument");
    s.assign(ZAV_TEXT("abcdefghijklmn"));
    const WCHAR* before = s.buffer();
    s += ZAV_TEXT('o');  // 15 characters: a request equal to the capacity reallocates
    EXPECT_NE(before, s.buffer());
    EXPECT_TRUE(s._Grow(40, true));  // trimmed: the text goes
    EXPECT_EQ(0u, s.size());
    s.assign(kAbc);
    EXPECT_TRUE(s._Grow(2, false));  // below the capacity: nothing changes, length included
    EXPECT_EQ(ZAV_TEXT("abc"), Text(s));
    EXPECT_FALSE(s._Grow(0, false));
    EXPECT_EQ(47u, s.capacity());
    s.begin()[0] = ZAV_TEXT('h');
    s.begin()[1] = 0;
    s.SetSize(1);  // trusts the caller
    EXPECT_EQ(ZAV_TEXT("h"), Text(s));
    EXPECT_FALSE(s._Grow(0, true));
    EXPECT_EQ(nullptr, s.buffer());
}

TEST(StringStorage, NullTextsAreEmptyCountedAndRangedTextsKeepZerosAndTheirLength) {
    ZAVString s(static_cast<const WCHAR*>(nullptr));
    EXPECT_EQ(0u, s.capacity());
    s = ZAV_TEXT('x');
    s = static_cast<const WCHAR*>(nullptr);
    s.append(static_cast<const WCHAR*>(nullptr));
    s.insert(0u, static_cast<const WCHAR*>(nullptr), 4);
    s.append(static_cast<const char*>(nullptr));
    s.append(kAbc, static_cast<const WCHAR*>(nullptr));  // a null last is an empty range
    EXPECT_EQ(0u, s.size());
    const WCHAR zeroed[] = {ZAV_TEXT('a'), 0, ZAV_TEXT('b')};
    s.append(zeroed, 3);
    s.append(zeroed, zeroed + 3);
    EXPECT_EQ(WString(zeroed, 3) + WString(zeroed, 3), Text(s));
    EXPECT_EQ(WString(zeroed, 2), Text(ZAVString(zeroed, zeroed + 2)));
    EXPECT_EQ(ZAV_TEXT("ab"), Text(ZAVString("abcd", 2)));
}

TEST(StringStorage, TheAnsiFormIsOwnedRemadeOnEachCallAndDroppedOrSwappedWithTheBuffer) {
    InspectableString s(kAbc), other(ZAV_TEXT("longer than fifteen characters"));
    const char* first = s.ANSIString();
    EXPECT_EQ(first, s.ansiBuffer());
    s[1] = ZAV_TEXT('X');
    EXPECT_STREQ("abc", s.ansiBuffer());  // an edit in place leaves the old text
    EXPECT_STREQ("aXc", s.ANSIString());
    s.swap(other);
    EXPECT_EQ(nullptr, s.ansiBuffer());
    EXPECT_STREQ("aXc", other.ansiBuffer());
    other.append(20, ZAV_TEXT('-'));  // a reallocation drops it
    EXPECT_EQ(nullptr, other.ansiBuffer());
}

class StringBuffers : public MemoryManagerTest {};

TEST_F(StringBuffers, ComeFromTheMemoryManagerAndGoBackToItOnAnyHeap) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    {
        ZAVString s(kAbc);
        const ZAVUInt64 withText = ZAV_PoolMemBusy;
        EXPECT_GE(withText, 2u * 15 + 2);
        s.ANSIString();
        EXPECT_GT(ZAV_PoolMemBusy, withText);
        s.append(40, ZAV_TEXT('x'));  // reallocation drops the ANSI form
        s.erase();
        EXPECT_EQ(0u, ZAV_PoolMemBusy);
        s.assign(kAbc);
        s.ANSIString();
        ZAVString* strings = new ZAVString[3];  // an array on the ordinary heap
        strings[2].assign(40, ZAV_TEXT('z'));
        delete[] strings;
    }
    EXPECT_EQ(0u, ZAV_PoolMemBusy);
    EXPECT_EQ(nullptr, g_pZAVMemCtl->Entries[0].Address);
}

TEST_F(StringBuffers, AFailedAllocationThrowsAndLeavesTheStringAsItWas) {
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    ZAVString s(kAbc);
    ZAVMemAllocType = static_cast<enumZAVMemoryAlloc>(7);  // hands out nothing
    EXPECT_THROW(s.append(20, ZAV_TEXT('x')), std::bad_alloc);
    EXPECT_THROW(s.assign(ZAV_TEXT("a text longer than the buffer")), std::bad_alloc);
    EXPECT_EQ(ZAV_TEXT("abc"), Text(s));
    ZAVMemAllocType = ZAVMemAllocCRT;
}

// The manager's LONG 9 for a damaged guarded buffer reaches the string's
// owner from the destructor; the ANSI buffer goes back all the same.
TEST_F(StringBuffers, DestroyingADamagedGuardedBufferPassesTheManagersCodeOn) {
    ZAV_MonitorMemory = 1;
    ASSERT_EQ(0u, ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard));
    WCHAR* text = nullptr;
    unsigned capacity = 0;
    WCHAR saved = 0;
    LONG code = 0;
    try {
        ZAVString s(kAbc);
        s.ANSIString();
        text = s.UnicodeString();
        capacity = s.capacity();
        saved = text[capacity + 1];  // the first unit behind the buffer: the trailer
        text[capacity + 1] = static_cast<WCHAR>(saved ^ 0x5555);
    } catch (LONG thrown) {
        code = thrown;
    }
    EXPECT_EQ(9, code);
    ASSERT_NE(nullptr, text);
    text[capacity + 1] = saved;  // mended, the block can go back
    EXPECT_EQ(0u, ZAV_MemoryFree(text));
    EXPECT_EQ(0u, ZAV_PoolMemBusy);
}

}  // namespace
