// Path queries on a scratch directory holding a file and a sub-directory;
// on POSIX also where the stand-in emulates an older platform or maps a
// drive, and a directory that permissions close. The user and computer
// names: from the system, and kept; on POSIX also under the stand-in's
// identity controls, where each comes from, which answers are kept and which
// are asked again.
#include <filesystem>
#include <fstream>
#include <string>

#include "TestSupport.h"
#include "LongPathForm.h"
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "ZAVPlatformTest.h"
#endif

namespace {

class PathTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(dir_.File("file.txt")) << "x";
        ASSERT_TRUE(std::filesystem::create_directory(dir_.File("sub")));
    }
    // A name in the directory.
    ZAVString Path(const std::string& rest) const { return Z(dir_.Wide(rest)); }

    ScratchDirectory dir_;
};

TEST_F(PathTest, ExistenceOfFilesAndDirectories) {
    SetLastError(1234);
    EXPECT_EQ(ZAV_TestFileExists(Path("file.txt")), 0);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(ZAV_TestFileExists(Path("sub")), 183);
    EXPECT_EQ(ZAV_TestFileExists(Path("missing")), 2);
    EXPECT_EQ(ZAV_TestFileExists(Path("no/such/file")), 3);
    EXPECT_EQ(ZAV_TestFileExists(Path("file.txt/below")), 3);
    EXPECT_EQ(ZAV_TestFileExists(static_cast<const WCHAR*>(nullptr)), 2);
    EXPECT_EQ(ZAV_TestDirExists(Path("sub")), 0);
    EXPECT_EQ(ZAV_TestDirExists(Path("file.txt")), 183);
    EXPECT_EQ(ZAV_TestDirExists(Path("gone/sub")), 3);
    EXPECT_EQ(ZAV_TestDirExists(ZAVString()), 2);
    EXPECT_EQ(GetLastError(), 2u);
    // Named through the standard library, as the system names files: UTF-8
    // on POSIX, UTF-16 on Windows. A surrogate pair names no file here.
    std::ofstream(std::filesystem::path(dir_.path()) / std::filesystem::path(u"\u00e9t\u00e9.log")) << "x";
    EXPECT_EQ(ZAV_TestFileExists(Z(dir_.Wide("") + ZAV_TEXT("\u00e9t\u00e9.log"))), 0);
    EXPECT_EQ(ZAV_TestFileExists(Z(dir_.Wide("") + ZAV_TEXT("\U0001F600"))), 2);
#ifndef _WIN32
    // A file in a folder closed to the user exists, though nothing more is known.
    ASSERT_EQ(mkdir(dir_.File("locked").c_str(), 0755), 0);
    std::ofstream(dir_.File("locked/inside")) << "x";
    ASSERT_EQ(chmod(dir_.File("locked").c_str(), 0), 0);
    if (geteuid() != 0) {  // root reads every directory
        EXPECT_EQ(ZAV_TestFileExists(Path("locked/inside")), 0);
        EXPECT_EQ(ZAV_TestDirExists(Path("locked/inside")), 5);
    }
#endif
}

TEST(InternalPath, LongPathFormOnWindowsIdentityOnPosixAndNoNetworkPaths) {
    const struct {
        const WCHAR *path, *internal;
    } cases[] = {
        {ZAV_TEXT("C:\\dir\\file"), ZAV_TEXT("\\\\?\\C:\\dir\\file")},
        {ZAV_TEXT("\\\\server\\share\\f"), ZAV_TEXT("\\\\?\\UNC\\server\\share\\f")},
        {ZAV_TEXT("\\\\?\\C:\\x"), ZAV_TEXT("\\\\?\\C:\\x")},
        {ZAV_TEXT("http://host/x"), ZAV_TEXT("http://host/x")},
        {ZAV_TEXT("relative\\x"), ZAV_TEXT("\\\\?\\relative\\x")},
        {ZAV_TEXT(""), ZAV_TEXT("\\\\?\\")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(zav::LongPathForm(ZAVString(c.path))), c.internal);
#ifdef _WIN32
        EXPECT_EQ(Text(ZAV_InternalPath(ZAVString(c.path))), c.internal);
#else
        EXPECT_EQ(Text(ZAV_InternalPath(ZAVString(c.path))), c.path);  // no such form on POSIX
#endif
        EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(c.path))), c.path);  // without a network every path comes back
    }
}

TEST(DirFromPath, LastComponentRootsAndFlag) {
    const struct {
        const WCHAR* path;
        int flag;
        const WCHAR* directory;
    } cases[] = {
#ifdef _WIN32
        {ZAV_TEXT("C:\\dir\\file.txt"), 0, ZAV_TEXT("C:\\dir")}, {ZAV_TEXT("C:\\file"), 0, ZAV_TEXT("C:\\")},
        {ZAV_TEXT("C:\\"), 0, ZAV_TEXT("C:\\")}, {ZAV_TEXT("C:file"), 0, ZAV_TEXT("C:")},
        {ZAV_TEXT("a\\\\b"), 0, ZAV_TEXT("a")}, {ZAV_TEXT("  C:\\a\\b  "), 0, ZAV_TEXT("C:\\a")},
        {ZAV_TEXT("C:\\dir\\"), 0, ZAV_TEXT("C:\\dir")}, {ZAV_TEXT("C:\\dir\\"), 1, ZAV_TEXT("C:\\dir")},
        {ZAV_TEXT("C:\\dir"), 1, ZAV_TEXT("C:\\dir")}, {ZAV_TEXT("\\\\server\\share\\f"), 0, ZAV_TEXT("\\\\server\\share")},
        {ZAV_TEXT("\\\\server\\share"), 1, ZAV_TEXT("\\\\server\\share")}, {ZAV_TEXT("a/b"), 0, ZAV_TEXT("a")},
#else
        {ZAV_TEXT("/usr/lib/file.so"), 0, ZAV_TEXT("/usr/lib")}, {ZAV_TEXT("/file"), 0, ZAV_TEXT("/")},
        {ZAV_TEXT("/"), 0, ZAV_TEXT("/")}, {ZAV_TEXT("a//b"), 0, ZAV_TEXT("a")},
        {ZAV_TEXT("  /a/b  "), 0, ZAV_TEXT("/a")}, {ZAV_TEXT("/usr/lib/"), 0, ZAV_TEXT("/usr/lib")},
        {ZAV_TEXT("/usr/lib/"), 1, ZAV_TEXT("/usr/lib")}, {ZAV_TEXT("/usr/lib"), 1, ZAV_TEXT("/usr/lib")},
        {ZAV_TEXT("///"), 1, ZAV_TEXT("/")}, {ZAV_TEXT("a\\b"), 0, ZAV_TEXT("")},
#endif
        {ZAV_TEXT("file"), 0, ZAV_TEXT("")}, {ZAV_TEXT("   "), 0, ZAV_TEXT("")},
    };
    for (const auto& c : cases) {
        ZAVString directory(ZAV_TEXT("old"));
        EXPECT_EQ(ZAV_GetDirFromPath(ZAVString(c.path), directory, c.flag), 0);
        EXPECT_EQ(Text(directory), c.directory) << std::string(c.path, c.path + lstrlenW(c.path));
    }
}

// The stand-in's own answers (upper case, 15 characters at most) are the
// platform tests'.
TEST(LogonId, AndTheComputerNameAreTheSystemsNamesWithoutPadding) {
    WCHAR user[257] = {}, computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD userSize = 257, computerSize = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetUserNameW(user, &userSize) && GetComputerNameW(computer, &computerSize));
    ZAV_IN_FRESH_PROCESS({
        EXPECT_EQ(Text(ZAV_GetLogonId()), WString(user));
        EXPECT_EQ(Text(ZAV_GetComputerName()), WString(computer));
    });
}

#ifndef _WIN32
// Mapped drives only: 255 characters and a terminator fit, one more does
// not. Outside the NT family the file queries take the "A" calls.
TEST_F(PathTest, UncPathsOfMappedDrivesAndQueriesInEitherFamily) {
    const ZAVString file = Path("file.txt"), dir = Path("sub");
    const WString share = ZAV_TEXT("\\\\server\\share"), longest = ZAV_TEXT("\\\\") + WString(253, ZAV_TEXT('n'));
    const struct {
        const WCHAR* path;
        WString unc;
    } cases[] = {{ZAV_TEXT("X:\\dir\\f.txt"), share + ZAV_TEXT("\\dir\\f.txt")}, {ZAV_TEXT("x:rel"), share + ZAV_TEXT("rel")},
                 {ZAV_TEXT("X:"), share}, {ZAV_TEXT("Y:\\a"), ZAV_TEXT("Y:\\a")}, {ZAV_TEXT("X"), ZAV_TEXT("X")},
                 {ZAV_TEXT("L:\\x"), longest + ZAV_TEXT("\\x")}, {ZAV_TEXT("M:\\x"), ZAV_TEXT("M:\\x")}};
    for (int family : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        ZAV_IN_FRESH_PROCESS({
            ZAVPlatformTest_EmulateVersion(family, family == VER_PLATFORM_WIN32_NT ? 10 : 4, 0, 1);
            ZAVPlatformTest_MapDrive(ZAV_TEXT("X:"), share.c_str());
            ZAVPlatformTest_MapDrive(ZAV_TEXT("L:"), longest.c_str());
            ZAVPlatformTest_MapDrive(ZAV_TEXT("M:"), (longest + ZAV_TEXT("n")).c_str());
            for (const auto& c : cases) EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(c.path))), c.unc) << (&c - cases);
            EXPECT_EQ(ZAV_TestFileExists(file), 0);
            EXPECT_EQ(ZAV_TestFileExists(dir), 183);
        });
    }
}

// One fresh process per row: the system's answer is set, asked for, changed
// to `later`, asked for again.
TEST(LogonId, SourcesAndWhatIsKeptOfItAndOfTheComputerName) {
    const struct {
        const char* what;
        bool computer, oldFamily;  // the computer's name; the "A" forms outside the NT family
        const WCHAR* network;      // the network provider's user; null: it knows none
        const WCHAR* name;         // null: the system's query fails
        const WCHAR *later, *first, *second;
    } cases[] = {
        {"the network user first", false, false, ZAV_TEXT("DOMAIN\\carol"), ZAV_TEXT("local"), ZAV_TEXT("x"),
         ZAV_TEXT("DOMAIN\\carol"), ZAV_TEXT("DOMAIN\\carol")},
        {"Unknown is kept", false, false, nullptr, nullptr, ZAV_TEXT("late"), ZAV_TEXT("Unknown"), ZAV_TEXT("Unknown")},
        {"ANSI form, failing", false, true, nullptr, nullptr, ZAV_TEXT("x"), ZAV_TEXT("Unknown"), ZAV_TEXT("Unknown")},
        {"a computer name too long: empty, asked again", true, false, nullptr, ZAV_TEXT("SIXTEEN-CHARS-XX"),
         ZAV_TEXT("FIFTEEN-CHARS-X"), ZAV_TEXT(""), ZAV_TEXT("FIFTEEN-CHARS-X")},
        {"a computer name, ANSI form, too long", true, true, nullptr, ZAV_TEXT("NAME-LONGER-THAN-15"), ZAV_TEXT("OTHER"),
         ZAV_TEXT(""), ZAV_TEXT("OTHER")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto set = [&c](const WCHAR* name) {
            c.computer ? ZAVPlatformTest_SetComputerName(name) : ZAVPlatformTest_FailUserName(name == nullptr);
            if (!c.computer && name != nullptr) ZAVPlatformTest_SetUserName(name);
        };
        const auto ask = [&c] { return Text(c.computer ? ZAV_GetComputerName() : ZAV_GetLogonId()); };
        ZAV_IN_FRESH_PROCESS({
            if (c.oldFamily) ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000);
            if (c.network != nullptr) ZAVPlatformTest_SetNetworkUser(c.network);
            set(c.name);
            EXPECT_EQ(ask(), c.first);
            // The provider, then the system, unless the provider knew the user.
            const DWORD asked = ZAVPlatformTest_IdentityQueries();
            EXPECT_TRUE(c.computer || c.oldFamily || c.name == nullptr || asked == (c.network != nullptr ? 1u : 2u));
            set(c.later);
            EXPECT_EQ(ask(), c.second);
            EXPECT_TRUE(WString(c.first) != c.second || ZAVPlatformTest_IdentityQueries() == asked) << "asked again";
        });
    }
}
#endif

}  // namespace
