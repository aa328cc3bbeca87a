#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScratchDirectory.h"
#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

extern char** environ;

namespace {

TEST(TextServices, CopiesLengthsAndSteps) {
    WCHAR buffer[8];
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(u"abc"), 3);
    EXPECT_EQ(std::u16string(lstrcpynW(buffer, u"abcdef", 4)), u"abc");
    EXPECT_EQ(std::u16string(lstrcpynW(buffer, u"ab", 8)), u"ab");
    EXPECT_EQ(std::u16string(lstrcpynW(buffer, u"abc", 1)), u"");
    buffer[0] = u'z';
    lstrcpynW(buffer, u"abc", 0);  // no room even for the terminator: nothing written
    EXPECT_EQ(buffer[0], u'z');
    EXPECT_EQ(std::u16string(lstrcpyW(buffer, u"xyz")), u"xyz");

    const WCHAR text[] = u"ab";
    EXPECT_EQ(CharNextW(text), text + 1);
    EXPECT_EQ(CharNextW(text + 2), text + 2);
    EXPECT_EQ(CharPrevW(text, text + 2), text + 1);
    EXPECT_EQ(CharPrevW(text, text), text);
}

TEST(TextServices, CompareStringCountsAndOrder) {
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, u"ab", 2, u"abc", 2), CSTR_EQUAL);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, u"ab", -1, u"abc", -1), CSTR_LESS_THAN);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, u"b", 1, u"a", 1), CSTR_GREATER_THAN);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, u"\uffff", 1, u"a", 1), CSTR_GREATER_THAN);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, nullptr, 0, u"", 0), CSTR_EQUAL);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, nullptr, 1, u"a", 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Files, AttributesAndWindowsCodes) {
    ScratchDirectory scratch;
    const std::string root = scratch.path();
    std::ofstream(root + "/plain") << "x";
    std::ofstream(root + "/.hidden") << "x";
    std::ofstream(root + "/readonly") << "x";
    chmod((root + "/readonly").c_str(), 0444);

    EXPECT_EQ(GetFileAttributesA(root.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA((root + "/plain").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_NE(GetFileAttributesA((root + "/.hidden").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    if (geteuid() != 0) {
        EXPECT_NE(GetFileAttributesA((root + "/readonly").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    }
    const std::string wide = root + "/plain";
    EXPECT_EQ(GetFileAttributesW(std::u16string(wide.begin(), wide.end()).c_str()),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

    struct Case {
        std::string path;
        DWORD error;
    };
    const Case failures[] = {{root + "/missing", ERROR_FILE_NOT_FOUND},
                             {root + "/none/missing", ERROR_PATH_NOT_FOUND},
                             {root + "/plain/below", ERROR_PATH_NOT_FOUND},
                             {"", ERROR_PATH_NOT_FOUND},
                             {root + "/" + std::string(300, 'n'), ERROR_FILENAME_EXCED_RANGE}};
    for (const Case& c : failures) {
        SetLastError(0);
        EXPECT_EQ(GetFileAttributesA(c.path.c_str()), INVALID_FILE_ATTRIBUTES) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    EXPECT_EQ(system(("rm -rf " + root).c_str()), 0);
}

// The write control fails the kth write after the given part of its data,
// as a full disk does, and counts every write.
TEST(Files, WriteControlFailsTheKthAfterPartOfItsData) {
    char pattern[] = "/tmp/zavwriteXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string path = std::string(pattern) + "/file";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ZAVPlatformTest_FailWrite(2, 3, FALSE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "one\n", 4, &written, nullptr));
    EXPECT_FALSE(WriteFile(file, "two\n", 4, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(WriteFile(file, "three\n", 6, &written, nullptr));
    EXPECT_EQ(ZAVPlatformTest_WritesFailed(), 1u);
    EXPECT_EQ(ZAVPlatformTest_WritesCounted(), 3u);
    ZAVPlatformTest_FailWrite(0, 0, FALSE);
    CloseHandle(file);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "one\ntwothree\n");
    EXPECT_EQ(system((std::string("rm -rf ") + pattern).c_str()), 0);
}

TEST(Identity, BufferProtocols) {
    WCHAR name[64];
    DWORD size = 64;
    if (GetUserNameW(name, &size)) {
        EXPECT_EQ(size, static_cast<DWORD>(lstrlenW(name) + 1));  // with the terminator
        DWORD small = 1;
        EXPECT_FALSE(GetUserNameW(name, &small));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(small, size);
    }
    size = 16;
    ASSERT_TRUE(GetComputerNameW(name, &size));
    EXPECT_EQ(size, static_cast<DWORD>(lstrlenW(name)));  // without the terminator
    EXPECT_LE(size, 15u);
    for (DWORD i = 0; i < size; ++i) EXPECT_FALSE(name[i] >= u'a' && name[i] <= u'z');
    DWORD tiny = size;
    EXPECT_FALSE(GetComputerNameW(name, &tiny));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(tiny, size + 1);

    DWORD length = 64;
    EXPECT_EQ(WNetGetUserW(nullptr, name, &length), static_cast<DWORD>(ERROR_NO_NETWORK));
    EXPECT_EQ(WNetGetConnectionW(u"C:", name, &length), static_cast<DWORD>(ERROR_NO_NETWORK));
}

TEST(Identity, NetworkProviderOfATest) {
    EXPECT_EXIT(
        {
            ZAVPlatformTest_MapDrive(u"z:", u"\\\\srv\\data");
            WCHAR name[32];
            DWORD length = 32;
            bool ok = WNetGetConnectionW(u"Z:", name, &length) == NO_ERROR && std::u16string(name) == u"\\\\srv\\data";
            length = 5;
            ok = ok && WNetGetConnectionW(u"Z:", name, &length) == ERROR_MORE_DATA && length == 11;
            ok = ok && WNetGetConnectionW(u"Q:", name, &length) == ERROR_NOT_CONNECTED;
            char ansi[32];
            length = 32;
            ok = ok && WNetGetConnectionA("z:", ansi, &length) == NO_ERROR && std::string(ansi) == "\\\\srv\\data";
            length = 32;
            ok = ok && WNetGetUserW(nullptr, name, &length) == ERROR_NOT_CONNECTED;
            _exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The arguments come back quoted so that the Windows runtime would split
// them into the same strings.
TEST(CommandLine, QuotedAsWindowsQuotes) {
    const std::string helper = ZAV_PRINT_COMMAND_LINE;
    std::vector<std::string> arguments = {helper, "plain", "two words", "", "say \"hi\"", "back\\slash",
                                          "end\\", "tab\there", "\xc3\xa9"};
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    pid_t child;
    ASSERT_EQ(posix_spawn(&child, helper.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    std::u16string line;
    FILE* output = fdopen(pipeEnds[0], "r");
    for (unsigned unit; fscanf(output, "%x", &unit) == 1;) line += static_cast<char16_t>(unit);
    fclose(output);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);

    const std::u16string program(helper.begin(), helper.end());
    EXPECT_EQ(line, program + u" plain \"two words\" \"\" \"say \\\"hi\\\"\" back\\slash end\\ \"tab\there\" \u00e9");
}

}  // namespace
