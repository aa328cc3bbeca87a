// What the differential run leaves out: the length limits and their
// messages, the growth step as derived classes see it, null texts and
// ranges, and the memory manager under the buffers.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "TestSupport.h"
#include "foundation/MemoryFixture.h"

namespace {

// The message of what the callable throws as E, or "nothing".
template <typename E, typename F>
std::string Thrown(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "nothing";
}

const WCHAR* const kAbc = ZAV_TEXT("abc");

// The wide and the ANSI forms alike: nothing is converted or changed first.
TEST(StringStorage, LengthLimitsThrowTheirFamilysMessageAndChangeNothing) {
    const char* const grow = "ZAVString::_Grow invalid length parameter";
    ZAVString one(1, ZAV_TEXT('x'));
    const struct {
        std::function<void()> call;
        const char* message;
    } cases[] = {
        {[&] { one.assign(ZAVString::npos, ZAV_TEXT('y')); }, "ZAVString::assign invalid length parameter"},
        {[&] { one.append(ZAVString::npos, ZAV_TEXT('y')); }, "ZAVString::append invalid length parameter"},
        {[&] { one.insert(0u, ZAVString::npos, ZAV_TEXT('y')); }, "ZAVString::insert invalid length parameter"},
        {[&] { one.replace(0u, 0u, ZAVString::npos, ZAV_TEXT('y')); }, "ZAVString::replace invalid length parameter"},
        // Replacing the one character passes replace's own check.
        {[&] { one.replace(0u, 1u, ZAVString::npos, ZAV_TEXT('y')); }, grow},
        {[&] { one.assign("abc", 0x7FFFFFFDu); }, grow},
        {[&] { one.append("abc", 0x7FFFFFFCu); }, grow},
    };
    for (const auto& c : cases) EXPECT_EQ(Thrown<std::length_error>(c.call), c.message);
    EXPECT_EQ(ZAV_TEXT("x"), Text(one));
    EXPECT_EQ(15u, one.capacity());
    one.append("abc", 0x7FFFFFFBu);  // a total just below the limit passes; the text is short
    EXPECT_EQ(ZAV_TEXT("xabc"), Text(one));
    EXPECT_EQ(0x7FFFFFFDu, one.max_size());  // the first length refused
}

// Trimming drops the text, and with a request of nothing the buffer too.
TEST(StringStorage, TheGrowthStepTrimsForDerivedClasses) {
    struct Growable : ZAVString {  // as a host's derived class may
        using ZAVString::ZAVString;
        using ZAVString::_Grow;
    } s(kAbc);
    EXPECT_TRUE(s._Grow(40, true));
    EXPECT_EQ(0u, s.size());
    EXPECT_FALSE(s._Grow(0, true));
    EXPECT_EQ(0u, s.capacity());
    EXPECT_EQ(Thrown<std::out_of_range>([&] { s.at(1); }), "ZAVString::at invalid position argument");
}

TEST(StringStorage, NullTextsAreEmptyCountedAndRangedTextsKeepZeros) {
    ZAVString s(static_cast<const WCHAR*>(nullptr));
    s = ZAV_TEXT('x');
    s.insert(0u, static_cast<const WCHAR*>(nullptr), 4);
    s.append(static_cast<const char*>(nullptr));
    s.append(kAbc, static_cast<const WCHAR*>(nullptr));  // a null last is an empty range
    const WCHAR zeroed[] = {ZAV_TEXT('a'), 0, ZAV_TEXT('b')};
    s.append(zeroed, zeroed + 3);
    EXPECT_EQ(ZAV_TEXT("x") + WString(zeroed, 3), Text(s));
    EXPECT_EQ(WString(zeroed, 2), Text(ZAVString(zeroed, zeroed + 2)));
}

class StringBuffers : public MemoryManagerTest {};

// Both buffers come from the memory manager: a failed allocation throws and
// leaves the string as it was; the manager's LONG 9 for a damaged guarded
// buffer reaches the string's owner from the destructor, and the ANSI buffer
// goes back all the same.
TEST_F(StringBuffers, ComeFromTheMemoryManagerWhoseFailuresReachTheOwner) {
    ZAV_MonitorMemory = 1;
    ASSERT_EQ(0u, ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard));
    alignas(ZAVString) unsigned char storage[sizeof(ZAVString)];
    ZAVString* const s = new (storage) ZAVString(kAbc);
    ZAVMemAllocType = static_cast<enumZAVMemoryAlloc>(7);  // hands out nothing
    EXPECT_THROW(s->append(20, ZAV_TEXT('x')), std::bad_alloc);
    EXPECT_THROW(s->assign(ZAV_TEXT("a text longer than the buffer")), std::bad_alloc);
    EXPECT_EQ(ZAV_TEXT("abc"), Text(*s));
    ZAVMemAllocType = ZAVMemAllocCRT;
    const ZAVUInt64 withText = ZAV_PoolMemBusy;
    s->ANSIString();
    EXPECT_GT(ZAV_PoolMemBusy, withText);
    WCHAR* const text = s->UnicodeString();
    WCHAR& trailer = text[s->capacity() + 1];  // the first unit behind the buffer
    const WCHAR saved = trailer;
    trailer = static_cast<WCHAR>(saved ^ 0x5555);
    LONG code = 0;
    try {
        s->~ZAVString();
    } catch (LONG thrown) {
        code = thrown;
    }
    EXPECT_EQ(9, code);
    trailer = saved;  // mended, the block can go back
    EXPECT_EQ(0u, ZAV_MemoryFree(text));
    EXPECT_EQ(0u, ZAV_PoolMemBusy);
}

}  // namespace
