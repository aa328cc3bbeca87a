#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "FreshProcess.h"
#include "LongPathForm.h"
#include "UtilTestSupport.h"
#include "ZAVPlatformTest.h"

namespace {

WString Wide(const std::string& s) { return WString(s.begin(), s.end()); }

// A scratch directory with a file and a sub-directory in it.
class PathTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zavpathXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        zavtest::ScratchDirectories().push_back(root_);
        std::ofstream(root_ + "/file.txt") << "x";
        ASSERT_EQ(mkdir((root_ + "/sub").c_str(), 0755), 0);
    }
    void TearDown() override {
        chmod((root_ + "/locked").c_str(), 0755);
        ASSERT_EQ(system(("rm -rf " + root_).c_str()), 0);
    }
    ZAVString Path(const std::string& rest) const { return Z(Wide(root_ + rest)); }

    std::string root_;
};

TEST_F(PathTest, ExistenceOfFilesAndDirectories) {
    SetLastError(1234);
    EXPECT_EQ(ZAV_TestFileExists(Path("/file.txt")), 0);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(ZAV_TestFileExists(Path("/sub")), 183);
    EXPECT_EQ(ZAV_TestFileExists(Path("/missing")), 2);
    EXPECT_EQ(ZAV_TestFileExists(Path("/no/such/file")), 3);
    EXPECT_EQ(ZAV_TestFileExists(Path("/file.txt/below")), 3);
    EXPECT_EQ(ZAV_TestFileExists(ZAVString()), 2);
    EXPECT_EQ(ZAV_TestFileExists(static_cast<const WCHAR*>(nullptr)), 2);
    EXPECT_EQ(ZAV_TestFileExists(Wide(root_ + "/file.txt").c_str()), 0);

    EXPECT_EQ(ZAV_TestDirExists(Path("/sub")), 0);
    EXPECT_EQ(ZAV_TestDirExists(Path("")), 0);
    EXPECT_EQ(ZAV_TestDirExists(Path("/file.txt")), 183);
    EXPECT_EQ(ZAV_TestDirExists(Path("/missing")), 2);
    EXPECT_EQ(ZAV_TestDirExists(Path("/gone/sub")), 3);
    EXPECT_EQ(ZAV_TestDirExists(ZAVString()), 2);
    EXPECT_EQ(GetLastError(), 2u);
}

TEST_F(PathTest, NamesOutsideAsciiAreUtf8OnDisk) {
    std::ofstream(root_ + "/\xc3\xa9t\xc3\xa9.log") << "x";  // été.log
    ZAVString path = Path("/");
    path += ZAV_TEXT("\u00e9t\u00e9.log");
    EXPECT_EQ(ZAV_TestFileExists(path), 0);
    path = Path("/");
    path += ZAV_TEXT("\U0001F600");  // a surrogate pair that names no file
    EXPECT_EQ(ZAV_TestFileExists(path), 2);
}

TEST_F(PathTest, AccessDeniedMeansTheFileExists) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every directory";
    ASSERT_EQ(mkdir((root_ + "/locked").c_str(), 0755), 0);
    std::ofstream(root_ + "/locked/inside") << "x";
    ASSERT_EQ(chmod((root_ + "/locked").c_str(), 0), 0);
    EXPECT_EQ(ZAV_TestFileExists(Path("/locked/inside")), 0);
    EXPECT_EQ(ZAV_TestDirExists(Path("/locked/inside")), 5);
}

TEST_F(PathTest, AnsiQueryOutsideTheNtFamily) {
    const ZAVString file = Path("/file.txt"), dir = Path("/sub"), missing = Path("/missing");
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
    // No network provider on this system: every path comes back.
    for (const WCHAR* path : {ZAV_TEXT("X:\\dir"), ZAV_TEXT("a"), ZAV_TEXT(""), ZAV_TEXT("/usr/lib"), ZAV_TEXT("C:")})
        EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(path))), path);

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

TEST(InternalPath, LongPathFormAndIdentityOnPosix) {
    struct Case {
        const WCHAR *path, *internal;
    };
    const Case cases[] = {
        {ZAV_TEXT("C:\\dir\\file"), ZAV_TEXT("\\\\?\\C:\\dir\\file")},
        {ZAV_TEXT("\\\\server\\share\\f"), ZAV_TEXT("\\\\?\\UNC\\server\\share\\f")},
        {ZAV_TEXT("\\\\?\\C:\\x"), ZAV_TEXT("\\\\?\\C:\\x")},
        {ZAV_TEXT("http://host/x"), ZAV_TEXT("http://host/x")},
        {ZAV_TEXT("relative\\x"), ZAV_TEXT("\\\\?\\relative\\x")},
        {ZAV_TEXT(""), ZAV_TEXT("\\\\?\\")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(zav::LongPathForm(ZAVString(c.path))), c.internal);
        EXPECT_EQ(Text(ZAV_InternalPath(ZAVString(c.path))), c.path);  // no such form on POSIX
    }
}

TEST(DirFromPath, LastComponentRootsAndFlag) {
    struct Case {
        const WCHAR* path;
        int flag;
        const WCHAR* directory;
    };
    const Case cases[] = {
        {ZAV_TEXT("/usr/lib/file.so"), 0, ZAV_TEXT("/usr/lib")}, {ZAV_TEXT("/file"), 0, ZAV_TEXT("/")},       {ZAV_TEXT("/"), 0, ZAV_TEXT("/")},
        {ZAV_TEXT("file"), 0, ZAV_TEXT("")},                     {ZAV_TEXT("a//b"), 0, ZAV_TEXT("a")},        {ZAV_TEXT("  /a/b  "), 0, ZAV_TEXT("/a")},
        {ZAV_TEXT("/usr/lib/"), 0, ZAV_TEXT("/usr/lib")},        {ZAV_TEXT("/usr/lib/"), 1, ZAV_TEXT("/usr/lib")}, {ZAV_TEXT("/usr/lib"), 1, ZAV_TEXT("/usr/lib")},
        {ZAV_TEXT("///"), 1, ZAV_TEXT("/")},                     {ZAV_TEXT("   "), 0, ZAV_TEXT("")},          {ZAV_TEXT("a\\b"), 0, ZAV_TEXT("")},
    };
    for (const Case& c : cases) {
        ZAVString directory(ZAV_TEXT("old"));
        EXPECT_EQ(ZAV_GetDirFromPath(ZAVString(c.path), directory, c.flag), 0);
        EXPECT_EQ(Text(directory), c.directory) << std::string(c.path, c.path + lstrlenW(c.path));
    }
}

}  // namespace
