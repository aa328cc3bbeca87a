// The platform queries under the stand-in's emulated older platforms.
#include <gtest/gtest.h>

#include "FreshProcess.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

namespace {

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
