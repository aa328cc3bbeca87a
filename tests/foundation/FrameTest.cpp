#include <gtest/gtest.h>

#include "FreshProcess.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

namespace {

TEST(Frame, HandleTestAndConstants) {
    EXPECT_EQ(ZAV_ValidHandle(nullptr), 0);
    EXPECT_EQ(ZAV_ValidHandle(INVALID_HANDLE_VALUE), 0);
    EXPECT_EQ(ZAV_ValidHandle(reinterpret_cast<void*>(1)), 1);
    EXPECT_EQ(ZAV_ValidHandle(reinterpret_cast<void*>(static_cast<uintptr_t>(-2))), 1);
    EXPECT_EQ(fnZAVUtil1(), 42);
    EXPECT_EQ(ZAV_IsBigEndian(), 0);
}

TEST(Frame, ExportedVariablesStartAtTheirInitialValues) {
    EXPECT_EQ(g_LogEntriesMax, 500);
    EXPECT_EQ(g_LogMsgCancelTime, 14400u);
    EXPECT_EQ(g_LogEntriesCount, 0);
    EXPECT_EQ(g_FirstLogMsgTime, 0u);
    EXPECT_EQ(gptrCDebug, nullptr);
    EXPECT_EQ(gptrZAVMsgAnchor.pFirst, nullptr);
    EXPECT_EQ(gptrZAVMsgAnchor.pLock, nullptr);
    EXPECT_EQ(gptrZAVMsgAnchor.Count, 0u);
}

TEST(Frame, NativePlatformIsAModernNt) {
    EXPECT_EQ(ZAV_IsWinNT(), 1);
    EXPECT_EQ(ZAV_IsWin2K(), 1);
    EXPECT_EQ(ZAV_IsWinXP(), 1);
    EXPECT_EQ(ZAV_IsWin2003(), 1);
}

struct VersionCase {
    DWORD platform, major, minor;
    int nt, w2k, xp, w2003;
};

class EmulatedVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(EmulatedVersion, EachTestMeansThisVersionOrLater) {
    const VersionCase c = GetParam();
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(c.platform, c.major, c.minor, 1234);
        EXPECT_EQ(ZAV_IsWinNT(), c.nt);
        EXPECT_EQ(ZAV_IsWin2K(), c.w2k);
        EXPECT_EQ(ZAV_IsWinXP(), c.xp);
        EXPECT_EQ(ZAV_IsWin2003(), c.w2003);
        // The record is read once: a later change of platform is not seen.
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_NT, 10, 0, 1);
        EXPECT_EQ(ZAV_IsWinNT(), c.nt);
    });
}

INSTANTIATE_TEST_SUITE_P(Versions, EmulatedVersion,
                         ::testing::Values(VersionCase{2, 4, 0, 1, 0, 0, 0}, VersionCase{2, 5, 0, 1, 1, 0, 0},
                                           VersionCase{2, 5, 1, 1, 1, 1, 0}, VersionCase{2, 5, 2, 1, 1, 1, 1},
                                           VersionCase{2, 6, 0, 1, 1, 1, 1}, VersionCase{1, 4, 10, 0, 0, 0, 0},
                                           VersionCase{1, 6, 0, 0, 0, 0, 0}));

TEST(Frame, AFailedVersionQueryAnswersZeroForGood) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_FailVersionQuery(TRUE);
        EXPECT_EQ(ZAV_IsWinNT(), 0);
        ZAVPlatformTest_FailVersionQuery(FALSE);
        EXPECT_EQ(ZAV_IsWinNT(), 0);
        EXPECT_EQ(ZAV_IsWin2K(), 0);
        EXPECT_EQ(ZAV_IsWinXP(), 0);
        EXPECT_EQ(ZAV_IsWin2003(), 0);
    });
}

}  // namespace
