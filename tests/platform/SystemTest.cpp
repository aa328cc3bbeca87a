// The stand-in's module table, clocks, version, the runtime's time texts,
// psapi's counters of the own process, text services, file attributes and
// writes, the computer name and the command line, with Windows' error codes.
#include <locale.h>
#include <stdio.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

// The error of a call that failed, 0 for one that succeeded.
DWORD Failure(bool succeeded) { return succeeded ? 0 : GetLastError(); }

TEST(Modules, ModuleNamesAreCaselessEntryPointNamesAreNot) {
    HMODULE k = LoadLibraryW(u"KERNEL32.dll");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(LoadLibraryW(u"kernel32"), k);
    EXPECT_EQ(Failure(GetProcAddress(k, "heapcompact")), DWORD(ERROR_PROC_NOT_FOUND)) << "names are case-sensitive";
    EXPECT_EQ(Failure(LoadLibraryW(u"kernel32.dllx")), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(FreeLibrary(nullptr));
}

// The frequency control scales the counter; a failed query answers no frequency.
TEST(Clocks, TheCounterRunsAtItsFrequencyAndTestControlsMoveTheClocks) {
    LARGE_INTEGER f, a;
    ZAVPlatformTest_SetPerformanceFrequency(3579545);
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    ZAVPlatformTest_SetPerformanceFrequency(0);
    EXPECT_EQ(f.QuadPart, 3579545);
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    EXPECT_NEAR(static_cast<double>(a.QuadPart) / 3579545.0, static_cast<double>(ts.tv_sec), 1.0);
    ZAVPlatformTest_FailPerformanceFrequency(TRUE);
    EXPECT_FALSE(QueryPerformanceFrequency(&f));
    ZAVPlatformTest_FailPerformanceFrequency(FALSE);
    ZAVPlatformTest_SetTickCountOffset(0u - GetTickCount() - 10);
    EXPECT_GE(GetTickCount(), 0xFFFFFFF0u - 100);
    ZAVPlatformTest_SetTickCountOffset(0);
}

TEST(Version, AStructureTooSmallIsRefused) {
    OSVERSIONINFOW v;
    v.dwOSVersionInfoSize = 10;
    EXPECT_FALSE(GetVersionExW(&v));
}

// _wctime keeps the Windows runtime's English 24-character layout under any
// LC_TIME: a German one names the days "Do", "Fr", ..., and the text log's 24
// characters would then end inside the line break.
TEST(TimeText, CtimeHasTheRuntimesEnglishLayoutUnderAnyLcTime) {
    ScratchDirectory scratch;
    const std::string zone = getenv("TZ") != nullptr ? getenv("TZ") : "";
    setenv("TZ", "UTC", 1);
    tzset();
    const bool german =
        access("/usr/share/i18n/locales/de_DE", R_OK) == 0 &&
        system(("localedef -i de_DE -f UTF-8 " + scratch.File("de_DE.UTF-8") + " >/dev/null 2>&1").c_str()) == 0 &&
        setenv("LOCPATH", scratch.path().c_str(), 1) == 0 && setlocale(LC_TIME, "de_DE.UTF-8") != nullptr;
    std::string texts;  // with the terminator, and nothing after it written
    for (const time_t t : {time_t(0), time_t(1709251149), time_t(1767323045), time_t(-1)}) {
        const WCHAR* text = _wctime(&t);
        texts += text != nullptr ? std::string(text, text + 26) : "<before 1970>";
    }
    EXPECT_EQ(texts, std::string("Thu Jan 01 00:00:00 1970\n\0Thu Feb 29 23:59:09 2024\n\0"
                                 "Fri Jan 02 03:04:05 2026\n\0<before 1970>",
                                 91));
    EXPECT_EQ(_wctime(nullptr), nullptr);
    setlocale(LC_TIME, "C");
    unsetenv("LOCPATH");
    zone.empty() ? unsetenv("TZ") : setenv("TZ", zone.c_str(), 1);
    tzset();
    if (!german) GTEST_SKIP() << "no German locale can be built here";
}

// A child of fork is a thread of its own, whose id is its pid, not the id
// its parent's thread asked for before the fork; and its private bytes, read
// through a handle opened before the fork, are its own. They follow the
// writable private mappings; the peak keeps the highest value answered.
TEST(Process, AChildOfForkHasItsOwnThreadIdAndMemoryCounters) {
    constexpr size_t kMapped = 64u << 20;
    HANDLE process = OpenProcess(0x400, FALSE, GetCurrentProcessId());
    ASSERT_NE(process, nullptr);
    PROCESS_MEMORY_COUNTERS counters;
    const auto privateBytes = [&] {
        return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PagefileUsage : 0;
    };
    const auto mappingShows = [&] {
        const SIZE_T before = privateBytes();
        void* block = mmap(nullptr, kMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        const SIZE_T mapped = privateBytes();
        if (block != MAP_FAILED) munmap(block, kMapped);
        return block != MAP_FAILED && mapped >= before + kMapped && mapped < before + kMapped + kMapped / 16 &&
               privateBytes() < before + kMapped / 16 && counters.PeakPagefileUsage >= before + kMapped;
    };
    EXPECT_TRUE(mappingShows());
    EXPECT_EQ(GetCurrentThreadId(), DWORD(getpid())) << "the main thread's id";
    GTEST_FLAG_SET(death_test_style, "fast");  // a plain fork, as a host makes
    EXPECT_EXIT(_exit(GetCurrentThreadId() != DWORD(getpid()) ? 2 : mappingShows() ? 0 : 1),
                ::testing::ExitedWithCode(0), "")
        << "1: the child counted its parent's memory; 2: it kept its parent's thread id";
    EXPECT_EQ(Failure(GetProcessMemoryInfo(process, &counters, sizeof counters - 1)), DWORD(ERROR_INSUFFICIENT_BUFFER));
    CloseHandle(process);
}

TEST(TextServices, CopiesStepsAndComparisons) {
    WCHAR buffer[8] = {u'z'};
    lstrcpynW(buffer, u"abc", 0);  // no room even for the terminator: nothing written
    EXPECT_EQ(buffer[0], u'z');
    EXPECT_EQ(CharPrevW(buffer, buffer), buffer) << "nothing before the start";
    const struct {
        const WCHAR *a, *b;
        int na, nb, expected;
    } comparisons[] = {{u"ab", u"abc", -1, -1, CSTR_LESS_THAN},
                       {u"\uffff", u"a", 1, 1, CSTR_GREATER_THAN},
                       {nullptr, u"", 0, 0, CSTR_EQUAL},
                       {nullptr, u"a", 1, 1, 0}};
    for (const auto& c : comparisons)
        EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, c.a, c.na, c.b, c.nb), c.expected);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

// A dot file is hidden; an empty path, or one too long, has its own error.
TEST(Files, AttributesAndWindowsCodes) {
    ScratchDirectory scratch;
    for (const char* name : {"plain", ".hidden"}) std::ofstream(scratch.File(name)) << "x";
    const struct {
        std::string path;
        DWORD attributes, error;
    } cases[] = {{scratch.File("plain"), FILE_ATTRIBUTE_ARCHIVE, 0},
                 {scratch.File(".hidden"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, 0},
                 {"", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
                 {scratch.File(std::string(300, 'n')), INVALID_FILE_ATTRIBUTES, ERROR_FILENAME_EXCED_RANGE}};
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(GetFileAttributesA(c.path.c_str()), c.attributes) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
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
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
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
    DWORD tiny = size;
    EXPECT_EQ(Failure(GetComputerNameW(name, &tiny)), DWORD(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(tiny, size + 1);
}

// The arguments come back quoted so that the Windows runtime would split
// them into the same strings.
TEST(CommandLine, QuotedAsWindowsQuotes) {
    // Each argument quoted for the shell (none holds a single quote).
    FILE* output = popen(ZAV_PRINT_COMMAND_LINE " plain 'two words' '' 'say \"hi\"' 'back\\slash' 'end\\' 'tab\there' "
                                                "\xc3\xa9",
                         "r");
    ASSERT_NE(output, nullptr);
    std::u16string line;
    for (unsigned unit; fscanf(output, "%x", &unit) == 1;) line += static_cast<char16_t>(unit);
    EXPECT_EQ(pclose(output), 0);
    EXPECT_EQ(line, Widen(ZAV_PRINT_COMMAND_LINE) +
                        u" plain \"two words\" \"\" \"say \\\"hi\\\"\" back\\slash end\\ \"tab\there\" \u00e9");
}

}  // namespace
