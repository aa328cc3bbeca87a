// The stand-in's text services, file attributes and writes, user, computer
// and network names, and the command line, with Windows' error codes.
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ScratchDirectory.h"
#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

DWORD Error() { return GetLastError(); }

TEST(TextServices, CopiesLengthsStepsAndComparisons) {
    WCHAR buffer[8] = {u'z'};
    lstrcpynW(buffer, u"abc", 0);  // no room even for the terminator: nothing written
    EXPECT_EQ(buffer[0], u'z');
    for (const auto& [source, size, copied] :
         {std::make_tuple(u"abcdef", 4, u"abc"), std::make_tuple(u"ab", 8, u"ab"), std::make_tuple(u"abc", 1, u"")})
        EXPECT_EQ(std::u16string(lstrcpynW(buffer, source, size)), copied);
    EXPECT_EQ(std::u16string(lstrcpyW(buffer, u"xyz")), u"xyz");
    EXPECT_EQ(lstrlenW(nullptr) + lstrlenW(u"abc"), 3);
    EXPECT_EQ(CharPrevW(buffer, buffer), buffer) << "nothing before the start";
    const struct {
        const WCHAR *a, *b;
        int na, nb, expected;
    } comparisons[] = {{u"ab", u"abc", 2, 2, CSTR_EQUAL},     {u"ab", u"abc", -1, -1, CSTR_LESS_THAN},
                       {u"b", u"a", 1, 1, CSTR_GREATER_THAN}, {u"\uffff", u"a", 1, 1, CSTR_GREATER_THAN},
                       {nullptr, u"", 0, 0, CSTR_EQUAL},      {nullptr, u"a", 1, 1, 0}};
    for (const auto& c : comparisons)
        EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, c.a, c.na, c.b, c.nb), c.expected);
    EXPECT_EQ(Error(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(Files, AttributesAndWindowsCodes) {
    ScratchDirectory scratch;
    for (const char* name : {"plain", ".hidden", "readonly"}) std::ofstream(scratch.File(name)) << "x";
    chmod(scratch.File("readonly").c_str(), 0444);
    const struct {
        std::string path;
        DWORD attributes, error;
    } cases[] = {
        {scratch.path(), FILE_ATTRIBUTE_DIRECTORY, 0},
        {scratch.File("plain"), FILE_ATTRIBUTE_ARCHIVE, 0},
        {scratch.File(".hidden"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, 0},
        {scratch.File("readonly"), DWORD(FILE_ATTRIBUTE_ARCHIVE | (geteuid() != 0 ? FILE_ATTRIBUTE_READONLY : 0)), 0},
        {scratch.File("missing"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {scratch.File("none/missing"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {scratch.File("plain/below"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {"", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {scratch.File(std::string(300, 'n')), INVALID_FILE_ATTRIBUTES, ERROR_FILENAME_EXCED_RANGE}};
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(GetFileAttributesA(c.path.c_str()), c.attributes) << c.path;
        EXPECT_EQ(Error(), c.error) << c.path;
        EXPECT_EQ(GetFileAttributesW(Widen(c.path).c_str()), c.attributes) << c.path;
    }
}

// The write control fails the kth write after the given count of its bytes,
// as a full disk does, and counts every write.
TEST(Files, WriteControlFailsTheKthAfterPartOfItsData) {
    ScratchDirectory scratch;
    HANDLE file = CreateFileA(scratch.File("file").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ZAVPlatformTest_FailWrite(2, 3, FALSE);
    const char* lines[] = {"one\n", "two\n", "three\n"};
    for (DWORD i = 0, written = 0; i < 3; ++i) {
        EXPECT_EQ(WriteFile(file, lines[i], DWORD(strlen(lines[i])), &written, nullptr), i != 1) << i;
        EXPECT_EQ(written, strlen(lines[i]) - (i == 1 ? 1 : 0));
    }
    EXPECT_EQ(Error(), DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(ZAVPlatformTest_WritesFailed(), 1u);
    EXPECT_EQ(ZAVPlatformTest_WritesCounted(), 3u);
    ZAVPlatformTest_FailWrite(0, 0, FALSE);
    CloseHandle(file);
    EXPECT_EQ(ReadFile(scratch.File("file")), "one\ntwothree\n");
}

// The computer name's buffer protocol: the size needed, with the terminator.
TEST(Identity, TheComputerNamesBufferAsksForRoomWithTheTerminator) {
    WCHAR name[64];
    DWORD size = 16;
    ASSERT_TRUE(GetComputerNameW(name, &size));
    EXPECT_EQ(size, DWORD(lstrlenW(name)));
    DWORD tiny = size;
    EXPECT_FALSE(GetComputerNameW(name, &tiny));
    EXPECT_EQ(Error(), DWORD(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(tiny, size + 1);
}

// The arguments come back quoted so that the Windows runtime would split
// them into the same strings.
TEST(CommandLine, QuotedAsWindowsQuotes) {
    const std::vector<std::string> arguments = {"plain",       "two words", "",         "say \"hi\"",
                                                "back\\slash", "end\\",     "tab\there", "\xc3\xa9"};
    std::string command = ZAV_PRINT_COMMAND_LINE;
    for (const std::string& a : arguments) command += " '" + a + "'";  // none holds a single quote
    FILE* output = popen(command.c_str(), "r");
    ASSERT_NE(output, nullptr);
    std::u16string line;
    for (unsigned unit; fscanf(output, "%x", &unit) == 1;) line += static_cast<char16_t>(unit);
    EXPECT_EQ(pclose(output), 0);
    EXPECT_EQ(line, Widen(ZAV_PRINT_COMMAND_LINE) +
                        u" plain \"two words\" \"\" \"say \\\"hi\\\"\" back\\slash end\\ \"tab\there\" \u00e9");
}

}  // namespace
