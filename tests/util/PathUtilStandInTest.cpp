// Path queries where the stand-in emulates an older platform or maps a
// drive, and a directory that POSIX permissions close.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "FreshProcess.h"
#include "PathFixture.h"
#include "ZAVPlatformTest.h"

namespace {

TEST_F(PathTest, AccessDeniedMeansTheFileExists) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every directory";
    ASSERT_EQ(mkdir(dir_.File("locked").c_str(), 0755), 0);
    std::ofstream(dir_.File("locked/inside")) << "x";
    ASSERT_EQ(chmod(dir_.File("locked").c_str(), 0), 0);
    EXPECT_EQ(ZAV_TestFileExists(Path("locked/inside")), 0);
    EXPECT_EQ(ZAV_TestDirExists(Path("locked/inside")), 5);
}

TEST_F(PathTest, AnsiQueryOutsideTheNtFamily) {
    const ZAVString file = Path("file.txt"), dir = Path("sub"), missing = Path("missing");
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        EXPECT_EQ(ZAV_IsWinNT(), 0);
        EXPECT_EQ(ZAV_TestFileExists(file), 0);
        EXPECT_EQ(ZAV_TestFileExists(dir), 183);
        EXPECT_EQ(ZAV_TestDirExists(dir), 0);
        EXPECT_EQ(ZAV_TestFileExists(missing), 2);
    });
}

TEST(UncPath, MappedDrivesOnly) {
    for (int family : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        ZAV_IN_FRESH_PROCESS({
            ZAVPlatformTest_EmulateVersion(family, family == VER_PLATFORM_WIN32_NT ? 10 : 4, 0, 1);
            ZAVPlatformTest_MapDrive(ZAV_TEXT("X:"), ZAV_TEXT("\\\\server\\share"));
            EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(ZAV_TEXT("X:\\dir\\f.txt")))), ZAV_TEXT("\\\\server\\share\\dir\\f.txt"));
            EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(ZAV_TEXT("x:rel")))), ZAV_TEXT("\\\\server\\sharerel"));
            EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(ZAV_TEXT("X:")))), ZAV_TEXT("\\\\server\\share"));
            EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(ZAV_TEXT("Y:\\a")))), ZAV_TEXT("Y:\\a"));
            EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(ZAV_TEXT("X")))), ZAV_TEXT("X"));
            // 255 characters and a terminator fit; one more does not.
            ZAVPlatformTest_MapDrive(ZAV_TEXT("L:"), (ZAV_TEXT("\\\\") + WString(253, ZAV_TEXT('n'))).c_str());
            EXPECT_EQ(ZAV_GetUNCPath(ZAVString(ZAV_TEXT("L:\\x"))).length(), 257u);
            ZAVPlatformTest_MapDrive(ZAV_TEXT("L:"), (ZAV_TEXT("\\\\") + WString(254, ZAV_TEXT('n'))).c_str());
            EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(ZAV_TEXT("L:\\x")))), ZAV_TEXT("L:\\x"));
        });
    }
}

}  // namespace
