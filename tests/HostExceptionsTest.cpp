// A host built with the compiler's default flags and nothing else: every
// kind of exception the library throws reaches its catch. (On Windows host
// and DLL must share one unwinder and one C++ runtime for this.)
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <type_traits>

// A host written against the Win32 names.
#define ZAVUTIL1_WIN32_NAMES
#include <ZAVUtil1/ZAVUtil1.h>

namespace {

#ifdef _WIN32
// The library's thrown codes are exactly these C++ types on Windows.
static_assert(std::is_same<LONG, long>::value, "LONG is long");
static_assert(std::is_same<DWORD, unsigned long>::value, "DWORD is unsigned long");
#endif

TEST(HostExceptions, MemoryCodeArrivesAsLong) {
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard);
    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(10, 0));
    p[-4] ^= 0x01;  // a damaged guard word
    LONG code = 0;
    try {
        ZAV_MemoryFree(p);
    } catch (LONG thrown) {
        code = thrown;
    }
    EXPECT_EQ(code, 9);
    p[-4] ^= 0x01;
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);
    ZAV_MemoryPoolFree();
}

TEST(HostExceptions, ListCodeArrivesAsUnsignedLong) {
    DWORD code = 0;
    try {
        ZAV_LinkPopFirst(nullptr);
    } catch (DWORD thrown) {
        code = thrown;
    }
    EXPECT_EQ(code, static_cast<DWORD>(ZAV_LINK_POP_NULL_ANCHOR));
}

TEST(HostExceptions, StandardExceptionsArriveWithTheirTypeAndText) {
    ZAVString s(ZAV_TEXT("abc"));
    try {
        s.at(4);
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "ZAVString::at invalid position argument");
    }
    try {
        s.assign(ZAVString::npos, ZAV_TEXT('x'));
        ADD_FAILURE() << "no exception";
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), "ZAVString::assign invalid length parameter");
    }
    // Caught through the base class too, as hosts usually do.
    EXPECT_THROW(s.at(9), std::exception);
}

}  // namespace
