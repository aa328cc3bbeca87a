// Storage, growth, limits, access and the buffers' life of ZAVString.
#include <functional>
#include <new>

#include "StringTestSupport.h"
#include "foundation/MemoryFixture.h"

namespace {

const WCHAR* const kAbc = ZAV_TEXT("abc");

TEST(StringStorage, ADefaultStringOwnsNothingAndReadsAsTheSharedEmptyString) {
    InspectableString s;
    EXPECT_EQ(0u, s.size());
    EXPECT_EQ(0u, s.capacity());
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(nullptr, s.begin());
    EXPECT_EQ(nullptr, s.end());
    ASSERT_NE(nullptr, s.c_str());
    EXPECT_EQ(InspectableString::_Nullstr(), s.c_str());
    EXPECT_EQ(InspectableString::_Nullstr(), s.UnicodeString());
    EXPECT_EQ(0, s.c_str()[0]);
    EXPECT_EQ(s.c_str(), &s.at(0));
    EXPECT_EQ(s.c_str(), &s[7]);
    EXPECT_TRUE(ThrowsWithMessage<std::out_of_range>([&] { s.at(1); }, "ZAVString::at invalid position argument"));
    EXPECT_EQ(0x7FFFFFFDu, s.max_size());
    EXPECT_EQ(0xFFFFFFFFu, ZAVString::npos);
}

TEST(StringStorage, ElementAccessInsideAndOutsideTheText) {
    ZAVString s(kAbc);
    EXPECT_EQ(ZAV_TEXT('b'), s[1]);
    s[1] = ZAV_TEXT('B');
    EXPECT_EQ(ZAV_TEXT("aBc"), Text(s));
    EXPECT_EQ(0, s.at(3));  // the terminator
    EXPECT_EQ(s.c_str() + 3, &s.at(3));
    EXPECT_NE(s.c_str() + 3, &s[3]);  // [] past the text gives the shared empty string
    EXPECT_EQ(0, s[3]);
    EXPECT_TRUE(ThrowsWithMessage<std::out_of_range>([&] { s.at(4); }, "ZAVString::at invalid position argument"));
    EXPECT_EQ(s.begin() + 3, s.end());
}

// The growth rule itself is the differential run's; the buffer's address
// and reserve are not in it.
TEST(StringStorage, AFullBufferReallocatesAtTheSameSizeAndReserveNeverShrinks) {
    InspectableString s(ZAV_TEXT("abcdefghijklmn"));
    const WCHAR* before = s.buffer();
    s += ZAV_TEXT('o');  // 15 characters: a request equal to the capacity reallocates
    EXPECT_NE(before, s.buffer());
    EXPECT_EQ(15u, s.capacity());
    s.reserve(100);
    EXPECT_EQ(111u, s.capacity());
    s.reserve(50);
    EXPECT_EQ(111u, s.capacity());
    EXPECT_EQ(ZAV_TEXT("abcdefghijklmno"), Text(s));
}

TEST(StringStorage, CapacitiesThatWouldReachTheLimitEqualTheRequest) {
    try {
        ZAVString s;
        s.reserve(0x7FFFFFF0u);  // 0x7FFFFFF0 | 15 would be 0x7FFFFFFF
        EXPECT_EQ(0x7FFFFFF0u, s.capacity());
    } catch (const std::bad_alloc&) {
        GTEST_SKIP() << "no 4 GiB of address space for the buffer";
    }
    try {
        ZAVString s;
        s.reserve(0x7FFFFFE0u);
        EXPECT_EQ(0x7FFFFFEFu, s.capacity());
    } catch (const std::bad_alloc&) {
        GTEST_SKIP() << "no 4 GiB of address space for the buffer";
    }
}

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
        {[&] { one.replace(0u, 1u, all, y); }, grow},  // replacing the one character passes replace's check
        {[&] { none.append(0x80000000u, y); }, grow},
        {[&] { none.reserve(0x7FFFFFFDu); }, grow},
    };
    for (const auto& c : cases) EXPECT_TRUE(ThrowsWithMessage<std::length_error>(c.call, c.message)) << c.message;
    EXPECT_EQ(ZAV_TEXT("x"), Text(one));
    EXPECT_EQ(15u, one.capacity());
    EXPECT_EQ(0u, none.capacity());
    // Both are logic errors, as the standard types are.
    EXPECT_THROW(none.assign(ZAVString::npos, y), std::logic_error);
}

TEST(StringStorage, GrowthStepWithTrimDiscardsTheTextAndNoGrowthForZeroKeepsTheBuffer) {
    InspectableString s(kAbc);
    EXPECT_TRUE(s._Grow(40, true));
    EXPECT_EQ(47u, s.capacity());
    EXPECT_EQ(0u, s.size());
    s.assign(kAbc);
    EXPECT_TRUE(s._Grow(2, false));  // below the capacity: nothing changes, length included
    EXPECT_EQ(ZAV_TEXT("abc"), Text(s));
    EXPECT_FALSE(s._Grow(0, false));
    EXPECT_EQ(47u, s.capacity());
    EXPECT_EQ(0u, s.size());
    EXPECT_FALSE(s._Grow(0, true));
    EXPECT_EQ(0u, s.capacity());
    EXPECT_EQ(nullptr, s.buffer());
}

TEST(StringStorage, CopyWritesNoTerminatorAndCopyTStringDoes) {
    const ZAVString s(kAbc);
    WCHAR dest[4] = {ZAV_TEXT('#'), ZAV_TEXT('#'), ZAV_TEXT('#'), ZAV_TEXT('#')};
    EXPECT_EQ(2u, s.CopyTString(dest, 2, 1));
    EXPECT_EQ(ZAV_TEXT('b'), dest[0]);
    EXPECT_EQ(ZAV_TEXT('c'), dest[1]);
    EXPECT_EQ(0, dest[2]);
    EXPECT_EQ(ZAV_TEXT('#'), dest[3]);

    WCHAR plain[4] = {ZAV_TEXT('#'), ZAV_TEXT('#'), ZAV_TEXT('#'), ZAV_TEXT('#')};
    EXPECT_EQ(2u, s.copy(plain, 5, 1));
    EXPECT_EQ(ZAV_TEXT('#'), plain[2]);
    EXPECT_EQ(0u, s.copy(plain, 5, 3));
    EXPECT_EQ(0u, s.copy(plain, 5, 99));  // past the end reads as empty
    EXPECT_EQ(0u, s.CopyTString(plain, 5, 99));
    EXPECT_EQ(0, plain[0]);
}

TEST(StringStorage, SwapExchangesTextAndAnsiBuffersAndEachReleasesWhatItHolds) {
    InspectableString a(kAbc);
    InspectableString b(ZAV_TEXT("longer than fifteen characters"));
    char* ansiOfA = a.ANSIString();
    a.swap(b);
    EXPECT_EQ(ZAV_TEXT("longer than fifteen characters"), Text(a));
    EXPECT_EQ(31u, a.capacity());
    EXPECT_EQ(ZAV_TEXT("abc"), Text(b));
    EXPECT_EQ(ansiOfA, b.ansiBuffer());
    EXPECT_EQ(nullptr, a.ansiBuffer());
    EXPECT_STREQ("abc", b.ansiBuffer());
}

TEST(StringStorage, CopyConstructionTakesARangeAndSelfAssignmentKeepsIt) {
    const ZAVString source(ZAV_TEXT("abcdef"));
    EXPECT_EQ(ZAV_TEXT("cde"), Text(ZAVString(source, 2, 3)));
    EXPECT_EQ(ZAV_TEXT("ef"), Text(ZAVString(source, 4)));
    EXPECT_EQ(ZAV_TEXT(""), Text(ZAVString(source, 7, 1)));

    ZAVString s(ZAV_TEXT("abcdef"));
    s.assign(s, 1, 3);
    EXPECT_EQ(ZAV_TEXT("bcd"), Text(s));
    s = s;
    EXPECT_EQ(ZAV_TEXT("bcd"), Text(s));
    s.assign(s, 5, 2);  // past the end: empty, and erased whole
    EXPECT_EQ(0u, s.capacity());

    ZAVString t(ZAV_TEXT("abc"));
    t.assign(source, 5, 2);
    EXPECT_EQ(ZAV_TEXT("f"), Text(t));
    t.assign(ZAVString(kAbc), 5, 2);
    EXPECT_EQ(ZAV_TEXT(""), Text(t));
}

TEST(StringStorage, SetSizeTrustsTheCaller) {
    ZAVString s;
    s.reserve(20);
    WCHAR* text = s.begin();
    text[0] = ZAV_TEXT('h');
    text[1] = ZAV_TEXT('i');
    text[2] = 0;
    s.SetSize(2);
    EXPECT_EQ(ZAV_TEXT("hi"), Text(s));
    EXPECT_EQ(31u, s.capacity());
}

class StringBuffers : public MemoryManagerTest {};

TEST_F(StringBuffers, ComeFromTheMemoryManagerAndGoBackToIt) {
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
    }
    EXPECT_EQ(0u, ZAV_PoolMemBusy);
    EXPECT_EQ(nullptr, g_pZAVMemCtl->Entries[0].Address);
}

TEST_F(StringBuffers, AnArrayOfStringsOnTheOrdinaryHeapReleasesEachElementsBuffers) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    ZAVString* strings = new ZAVString[3];
    strings[0] = kAbc;
    strings[2].assign(40, ZAV_TEXT('z'));
    EXPECT_GT(ZAV_PoolMemBusy, 0u);
    delete[] strings;
    EXPECT_EQ(0u, ZAV_PoolMemBusy);
}

TEST_F(StringBuffers, AFailedAllocationThrowsAndLeavesTheStringAsItWas) {
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, 0);
    ZAVString s(kAbc);
    ZAVMemAllocType = static_cast<enumZAVMemoryAlloc>(7);  // hands out nothing
    EXPECT_THROW(s.append(20, ZAV_TEXT('x')), std::bad_alloc);
    EXPECT_THROW(s.assign(ZAV_TEXT("a text longer than the buffer")), std::bad_alloc);
    EXPECT_THROW(s.ANSIString(), std::bad_alloc);
    EXPECT_THROW(ZAVString(ZAV_TEXT("x")), std::bad_alloc);
    EXPECT_EQ(ZAV_TEXT("abc"), Text(s));
    EXPECT_EQ(15u, s.capacity());
    s.append(ZAV_TEXT("de"));  // fits: needs no allocation
    EXPECT_EQ(ZAV_TEXT("abcde"), Text(s));
    ZAVMemAllocType = ZAVMemAllocCRT;
}

TEST_F(StringBuffers, WorkWithGuardWordsAndThePrivateHeap) {
    ZAV_MonitorMemory = 1;
    ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptGuard);
    {
        ZAVString s;
        for (int i = 0; i < 200; ++i) s += static_cast<WCHAR>(ZAV_TEXT('a') + i % 26);
        s.insert(10u, ZAV_TEXT("--"));
        s.erase(0, 5);
        EXPECT_EQ(197u, s.size());
        EXPECT_STREQ("fghij--klm", ZAVString(s, 0, 10).ANSIString());
    }
    EXPECT_EQ(0u, ZAV_PoolMemBusy);
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
