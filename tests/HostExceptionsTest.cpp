// A host built with the compiler's default flags and nothing else: every
// kind of exception the library throws reaches its catch, by its own type.
// (On Windows host and DLL must share one unwinder and one C++ runtime for
// this.) The codes and texts themselves are the other tests' business.
#include <gtest/gtest.h>

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

TEST(HostExceptions, EachKindArrivesAsItsOwnType) {
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard);
    auto* p = static_cast<unsigned char*>(ZAV_MemoryGet(10, 0));
    p[-4] ^= 0x01;  // a damaged guard word
    EXPECT_THROW(ZAV_MemoryFree(p), LONG);
    p[-4] ^= 0x01;
    EXPECT_EQ(ZAV_MemoryFree(p), 0u);
    ZAV_MemoryPoolFree();
    EXPECT_THROW(ZAV_LinkPopFirst(nullptr), DWORD);
    ZAVString s(ZAV_TEXT("abc"));
    EXPECT_THROW(s.at(4), std::out_of_range);
    EXPECT_THROW(s.assign(ZAVString::npos, ZAV_TEXT('x')), std::length_error);
    EXPECT_THROW(s.at(9), std::exception) << "caught through the base class, as hosts usually do";
}

}  // namespace
