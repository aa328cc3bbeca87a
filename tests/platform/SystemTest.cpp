// The stand-in's module table, clocks, version, the runtime's time texts and
// psapi's counters of the own process.
#include <locale.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

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

TEST(Clocks, TheCounterRunsAtItsFrequencyAndTestControlsMoveTheClocks) {
    LARGE_INTEGER f, a, b;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 1000000000);
    QueryPerformanceCounter(&a);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QueryPerformanceCounter(&b);
    EXPECT_GE(b.QuadPart - a.QuadPart, 50000000);
    EXPECT_LT(b.QuadPart - a.QuadPart, 5000000000);
    ZAVPlatformTest_SetPerformanceCounterOffset(1000000000000000);
    QueryPerformanceCounter(&a);
    ZAVPlatformTest_SetPerformanceCounterOffset(0);
    EXPECT_GE(a.QuadPart - b.QuadPart, 1000000000000000);
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
    memset(&v, 0xFF, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    ASSERT_TRUE(GetVersionExW(&v));
    EXPECT_EQ(v.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
    EXPECT_GE(v.dwMajorVersion, 6u);
    EXPECT_EQ(v.szCSDVersion[0], 0);
    v.dwOSVersionInfoSize = 10;
    EXPECT_FALSE(GetVersionExW(&v));
}

TEST(TimeText, StrtimeIsTheRuntimesEightCharacters) {
    WCHAR text[10];
    memset(text, 0x55, sizeof text);
    ASSERT_EQ(_wstrtime(text), text);
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    const std::string narrow(text, text + 8);
    EXPECT_TRUE(std::regex_match(narrow, std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]"))) << narrow;
    EXPECT_TRUE(std::stoi(narrow) == local.tm_hour || std::stoi(narrow) == (local.tm_hour + 23) % 24) << narrow;
    EXPECT_EQ(text[8], 0);
    EXPECT_EQ(text[9], 0x5555) << "writes nine characters only";
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
        char probe[32];
        const time_t times[] = {0, 1709251149, 1767323045, -1};
        strftime(probe, sizeof probe, "%a", gmtime(&times[0]));
        EXPECT_STREQ(probe, locale[0] == 'C' ? "Thu" : "Do") << "the locale is in force";
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

// "Name:   value kB" of /proc/self/status, in bytes: data plus stack.
SIZE_T StatusBytes() {
    FILE* file = fopen("/proc/self/status", "r");
    char line[256];
    unsigned long long kilobytes = 0, value = 0;
    while (file != nullptr && fgets(line, sizeof line, file) != nullptr)
        if (sscanf(line, "VmData: %llu", &value) == 1 || sscanf(line, "VmStk: %llu", &value) == 1) kilobytes += value;
    if (file != nullptr) fclose(file);
    return SIZE_T(kilobytes * 1024);
}

// The private bytes follow the process's own writable private mappings, also
// in a child after fork with a handle opened before it.
TEST(ProcessMemory, PrivateBytesAreTheWritablePrivateMappingsAlsoInAChild) {
    constexpr size_t kMapped = 64u << 20;
    HANDLE process = OpenProcess(0x400, FALSE, GetCurrentProcessId());
    ASSERT_NE(process, nullptr);
    const auto privateBytes = [&] {
        PROCESS_MEMORY_COUNTERS counters;
        return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PagefileUsage : 0;
    };
    PROCESS_MEMORY_COUNTERS counters;
    ASSERT_TRUE(GetProcessMemoryInfo(process, &counters, sizeof counters));
    EXPECT_EQ(counters.cb, sizeof counters);
    // Reading the status file may itself map memory (sanitizer runtimes do):
    // its figure lies between the counter's before and after.
    const SIZE_T status = StatusBytes();
    EXPECT_LE(counters.PagefileUsage, status);
    EXPECT_LE(status, privateBytes());
    EXPECT_GT(counters.WorkingSetSize, 0u);
    EXPECT_GE(counters.PeakWorkingSetSize, counters.WorkingSetSize);
    for (const bool child : {false, true}) {
        const SIZE_T before = privateBytes();
        const pid_t pid = child ? fork() : 0;
        ASSERT_GE(pid, 0);
        if (pid > 0) {
            int code = 0;
            ASSERT_EQ(waitpid(pid, &code, 0), pid);
            EXPECT_TRUE(WIFEXITED(code) && WEXITSTATUS(code) == 0) << "the child counted its own memory";
            break;
        }
        void* block = mmap(nullptr, kMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        const SIZE_T mapped = privateBytes(), own = StatusBytes();
        if (child) _exit(block != MAP_FAILED && mapped <= own && mapped >= before + kMapped ? 0 : 1);
        ASSERT_NE(block, MAP_FAILED);
        EXPECT_GE(mapped, before + kMapped);
        EXPECT_LT(mapped, before + kMapped + kMapped / 16);
        munmap(block, kMapped);
        EXPECT_LT(privateBytes(), before + kMapped / 16);
        ASSERT_TRUE(GetProcessMemoryInfo(process, &counters, sizeof counters));
        EXPECT_GE(counters.PeakPagefileUsage, before + kMapped) << "the peak keeps the highest value answered";
    }
    EXPECT_FALSE(GetProcessMemoryInfo(process, &counters, sizeof counters - 1));
    EXPECT_EQ(Error(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    CloseHandle(process);
}

}  // namespace
