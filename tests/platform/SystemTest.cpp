// The stand-in's module table, clocks, version, the runtime's time texts and
// psapi's counters of the own process.
#include <locale.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "ScratchDirectory.h"
#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

DWORD Error() { return GetLastError(); }

TEST(Modules, KnownEntryPointsResolveCaselesslyAndHiddenOnesAreMissing) {
    HMODULE k = LoadLibraryW(u"KERNEL32.dll");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(LoadLibraryW(u"kernel32"), k);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(k, "HeapCompact")), reinterpret_cast<void*>(&HeapCompact));
    EXPECT_EQ(GetProcAddress(k, "heapcompact"), nullptr) << "entry names are case-sensitive";
    EXPECT_EQ(Error(), DWORD(ERROR_PROC_NOT_FOUND));
    ZAVPlatformTest_HideProcedure("HeapSetInformation", TRUE);
    EXPECT_EQ(GetProcAddress(k, "HeapSetInformation"), nullptr);
    ZAVPlatformTest_HideProcedure("HeapSetInformation", FALSE);
    EXPECT_NE(GetProcAddress(k, "HeapSetInformation"), nullptr);
    EXPECT_TRUE(FreeLibrary(k));
    EXPECT_EQ(LoadLibraryW(u"kernel32.dllx"), nullptr);
    EXPECT_EQ(Error(), DWORD(ERROR_MOD_NOT_FOUND));
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

TEST(Version, ReportsAModernNt) {
    OSVERSIONINFOW v;
    v.dwOSVersionInfoSize = 10;
    EXPECT_FALSE(GetVersionExW(&v));
}

// _wctime keeps the Windows runtime's English 24-character layout under any
// LC_TIME: a German one names the days "Do", "Fr", ..., and the text log's 24
// characters would then end inside the line break.
TEST(TimeText, CtimeHasTheRuntimesEnglishLayoutUnderAnyLcTime) {
    ScratchDirectory scratch;
    const char* zone = getenv("TZ");
    const bool hadZone = zone != nullptr;
    const std::string oldZone = hadZone ? zone : "";
    setenv("TZ", "UTC", 1);
    tzset();
    const bool german =
        access("/usr/share/i18n/locales/de_DE", R_OK) == 0 &&
        system(("localedef -i de_DE -f UTF-8 " + scratch.File("de_DE.UTF-8") + " >/dev/null 2>&1").c_str()) == 0 &&
        setenv("LOCPATH", scratch.path().c_str(), 1) == 0;
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        if (setlocale(LC_TIME, locale) == nullptr) continue;
        const time_t times[] = {0, 1709251149, 1767323045, -1};
        const char* expected[] = {"Thu Jan 01 00:00:00 1970\n", "Thu Feb 29 23:59:09 2024\n",
                                  "Fri Jan 02 03:04:05 2026\n"};
        for (int i = 0; i < 3; ++i) {
            const WCHAR* text = _wctime(&times[i]);
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text, text + 26), std::string(expected[i], 26)) << locale;
        }
        EXPECT_EQ(_wctime(&times[3]), nullptr) << "before 1970";
        EXPECT_EQ(_wctime(nullptr), nullptr);
    }
    setlocale(LC_TIME, "C");
    unsetenv("LOCPATH");
    hadZone ? setenv("TZ", oldZone.c_str(), 1) : unsetenv("TZ");
    tzset();
    if (!german) GTEST_SKIP() << "no German locale can be built here";
}

// The private bytes follow the process's own writable private mappings, also
// in a child after fork with a handle opened before it; the peak keeps the
// highest value answered.
TEST(ProcessMemory, PrivateBytesAreTheWritablePrivateMappingsAlsoInAChild) {
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
    const pid_t child = fork();
    if (child == 0) _exit(mappingShows() ? 0 : 1);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the child counted its own memory";
    EXPECT_FALSE(GetProcessMemoryInfo(process, &counters, sizeof counters - 1));
    EXPECT_EQ(Error(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    CloseHandle(process);
}

}  // namespace
