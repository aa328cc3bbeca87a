#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

const WCHAR kKernel32[] = u"KERNEL32.dll";

TEST(Modules, KnownEntryPointsResolveCaselessly) {
    HMODULE k = LoadLibraryW(kKernel32);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(LoadLibraryW(u"kernel32"), k);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(k, "HeapCompact")), reinterpret_cast<void*>(&HeapCompact));
    EXPECT_EQ(GetProcAddress(k, "heapcompact"), nullptr) << "entry names are case-sensitive";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(k));

    EXPECT_EQ(LoadLibraryW(u"kernel32.dllx"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(Modules, AHiddenEntryPointIsMissing) {
    HMODULE k = LoadLibraryW(kKernel32);
    ZAVPlatformTest_HideProcedure("HeapSetInformation", TRUE);
    EXPECT_EQ(GetProcAddress(k, "HeapSetInformation"), nullptr);
    ZAVPlatformTest_HideProcedure("HeapSetInformation", FALSE);
    EXPECT_NE(GetProcAddress(k, "HeapSetInformation"), nullptr);
}

TEST(Clocks, CounterRunsAtItsFrequency) {
    LARGE_INTEGER f, a, b;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 1000000000);
    QueryPerformanceCounter(&a);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QueryPerformanceCounter(&b);
    EXPECT_GE(b.QuadPart - a.QuadPart, 50000000);
    EXPECT_LT(b.QuadPart - a.QuadPart, 5000000000);
}

TEST(Clocks, TestControlsMoveTheClocks) {
    LARGE_INTEGER a, b, f;
    QueryPerformanceCounter(&a);
    ZAVPlatformTest_SetPerformanceCounterOffset(1000000000000000);
    QueryPerformanceCounter(&b);
    ZAVPlatformTest_SetPerformanceCounterOffset(0);
    EXPECT_GE(b.QuadPart - a.QuadPart, 1000000000000000);

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

    DWORD t0 = GetTickCount();
    ZAVPlatformTest_SetTickCountOffset(0u - t0 - 10);
    EXPECT_GE(GetTickCount(), 0xFFFFFFF0u - 100);
    ZAVPlatformTest_SetTickCountOffset(0);
}

TEST(Version, ReportsAModernNtUnlessEmulated) {
    OSVERSIONINFOW v;
    memset(&v, 0xFF, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    ASSERT_TRUE(GetVersionExW(&v));
    EXPECT_EQ(v.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_GE(v.dwMajorVersion, 6u);
    EXPECT_EQ(v.szCSDVersion[0], 0);
    v.dwOSVersionInfoSize = 10;
    EXPECT_FALSE(GetVersionExW(&v));
}

TEST(TimeText, IsTheRuntimesEightCharacterTime) {
    WCHAR text[10];
    memset(text, 0x55, sizeof text);
    ASSERT_EQ(_wstrtime(text), text);
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    for (int i : {0, 1, 3, 4, 6, 7}) EXPECT_TRUE(text[i] >= '0' && text[i] <= '9') << i;
    EXPECT_EQ(text[2], ':');
    EXPECT_EQ(text[5], ':');
    EXPECT_EQ(text[8], 0);
    EXPECT_EQ(text[9], 0x5555) << "writes nine characters only";
    int hour = (text[0] - '0') * 10 + (text[1] - '0');
    EXPECT_TRUE(hour == local.tm_hour || hour == (local.tm_hour + 23) % 24);
}

}  // namespace
