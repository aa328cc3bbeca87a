#include <filesystem>
#include <fstream>
#include <string>

#include "LongPathForm.h"
#include "PathFixture.h"

namespace {

TEST_F(PathTest, ExistenceOfFilesAndDirectories) {
    SetLastError(1234);
    EXPECT_EQ(ZAV_TestFileExists(Path("file.txt")), 0);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(ZAV_TestFileExists(Path("sub")), 183);
    EXPECT_EQ(ZAV_TestFileExists(Path("missing")), 2);
    EXPECT_EQ(ZAV_TestFileExists(Path("no/such/file")), 3);
    EXPECT_EQ(ZAV_TestFileExists(Path("file.txt/below")), 3);
    EXPECT_EQ(ZAV_TestFileExists(ZAVString()), 2);
    EXPECT_EQ(ZAV_TestFileExists(static_cast<const WCHAR*>(nullptr)), 2);
    EXPECT_EQ(ZAV_TestFileExists(dir_.Wide("file.txt").c_str()), 0);

    EXPECT_EQ(ZAV_TestDirExists(Path("sub")), 0);
    EXPECT_EQ(ZAV_TestDirExists(Path("")), 0);
    EXPECT_EQ(ZAV_TestDirExists(Path("file.txt")), 183);
    EXPECT_EQ(ZAV_TestDirExists(Path("missing")), 2);
    EXPECT_EQ(ZAV_TestDirExists(Path("gone/sub")), 3);
    EXPECT_EQ(ZAV_TestDirExists(ZAVString()), 2);
    EXPECT_EQ(GetLastError(), 2u);
}

// The file is named through the standard library, as the system names
// files: UTF-8 on POSIX, UTF-16 on Windows.
TEST_F(PathTest, NamesOutsideAsciiFindTheirFile) {
    std::ofstream(std::filesystem::path(dir_.path()) / std::filesystem::path(u"\u00e9t\u00e9.log")) << "x";
    ZAVString path = Z(dir_.Wide(""));
    path += ZAV_TEXT("\u00e9t\u00e9.log");
    EXPECT_EQ(ZAV_TestFileExists(path), 0);
    path = Z(dir_.Wide(""));
    path += ZAV_TEXT("\U0001F600");  // a surrogate pair that names no file
    EXPECT_EQ(ZAV_TestFileExists(path), 2);
}

TEST(UncPath, WithoutANetworkEveryPathComesBack) {
    for (const WCHAR* path : {ZAV_TEXT("X:\\dir"), ZAV_TEXT("a"), ZAV_TEXT(""), ZAV_TEXT("/usr/lib"), ZAV_TEXT("C:")})
        EXPECT_EQ(Text(ZAV_GetUNCPath(ZAVString(path))), path);
}

TEST(InternalPath, LongPathFormOnWindowsIdentityOnPosix) {
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
#ifdef _WIN32
        EXPECT_EQ(Text(ZAV_InternalPath(ZAVString(c.path))), c.internal);
#else
        EXPECT_EQ(Text(ZAV_InternalPath(ZAVString(c.path))), c.path);  // no such form on POSIX
#endif
    }
}

struct DirCase {
    const WCHAR* path;
    int flag;
    const WCHAR* directory;
};

#ifdef _WIN32
const DirCase kDirCases[] = {
    {ZAV_TEXT("C:\\dir\\file.txt"), 0, ZAV_TEXT("C:\\dir")}, {ZAV_TEXT("C:\\file"), 0, ZAV_TEXT("C:\\")},
    {ZAV_TEXT("C:\\"), 0, ZAV_TEXT("C:\\")},                  {ZAV_TEXT("C:file"), 0, ZAV_TEXT("C:")},
    {ZAV_TEXT("file"), 0, ZAV_TEXT("")},                          {ZAV_TEXT("a\\\\b"), 0, ZAV_TEXT("a")},
    {ZAV_TEXT("  C:\\a\\b  "), 0, ZAV_TEXT("C:\\a")},       {ZAV_TEXT("C:\\dir\\"), 0, ZAV_TEXT("C:\\dir")},
    {ZAV_TEXT("C:\\dir\\"), 1, ZAV_TEXT("C:\\dir")},        {ZAV_TEXT("C:\\dir"), 1, ZAV_TEXT("C:\\dir")},
    {ZAV_TEXT("\\\\server\\share\\f"), 0, ZAV_TEXT("\\\\server\\share")},
    {ZAV_TEXT("\\\\server\\share"), 1, ZAV_TEXT("\\\\server\\share")},
    {ZAV_TEXT("   "), 0, ZAV_TEXT("")},                           {ZAV_TEXT("a/b"), 0, ZAV_TEXT("a")},
};
#else
const DirCase kDirCases[] = {
    {ZAV_TEXT("/usr/lib/file.so"), 0, ZAV_TEXT("/usr/lib")}, {ZAV_TEXT("/file"), 0, ZAV_TEXT("/")},       {ZAV_TEXT("/"), 0, ZAV_TEXT("/")},
    {ZAV_TEXT("file"), 0, ZAV_TEXT("")},                     {ZAV_TEXT("a//b"), 0, ZAV_TEXT("a")},        {ZAV_TEXT("  /a/b  "), 0, ZAV_TEXT("/a")},
    {ZAV_TEXT("/usr/lib/"), 0, ZAV_TEXT("/usr/lib")},        {ZAV_TEXT("/usr/lib/"), 1, ZAV_TEXT("/usr/lib")}, {ZAV_TEXT("/usr/lib"), 1, ZAV_TEXT("/usr/lib")},
    {ZAV_TEXT("///"), 1, ZAV_TEXT("/")},                     {ZAV_TEXT("   "), 0, ZAV_TEXT("")},          {ZAV_TEXT("a\\b"), 0, ZAV_TEXT("")},
};
#endif

TEST(DirFromPath, LastComponentRootsAndFlag) {
    for (const DirCase& c : kDirCases) {
        ZAVString directory(ZAV_TEXT("old"));
        EXPECT_EQ(ZAV_GetDirFromPath(ZAVString(c.path), directory, c.flag), 0);
        EXPECT_EQ(Text(directory), c.directory) << std::string(c.path, c.path + lstrlenW(c.path));
    }
}

}  // namespace
