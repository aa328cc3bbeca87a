// psapi's counters of the own process: the private bytes follow the
// process's own mappings, also in a child after fork.
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ZAVPlatform.h"

namespace {

// "Name:   value kB" of /proc/self/status, in bytes.
unsigned long long StatusBytes(const char* name) {
    FILE* file = fopen("/proc/self/status", "r");
    if (file == nullptr) return 0;
    char line[256];
    unsigned long long kilobytes = 0;
    while (fgets(line, sizeof line, file) != nullptr)
        if (strncmp(line, name, strlen(name)) == 0) sscanf(line + strlen(name), " %llu", &kilobytes);
    fclose(file);
    return kilobytes * 1024;
}

SIZE_T PrivateBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return counters.PagefileUsage;
}

constexpr size_t kMapped = 64u << 20;

TEST(ProcessMemory, PrivateBytesAreTheWritablePrivateMappings) {
    HANDLE process = OpenProcess(0x400, FALSE, GetCurrentProcessId());
    ASSERT_NE(process, nullptr);
    PROCESS_MEMORY_COUNTERS counters;
    ASSERT_TRUE(GetProcessMemoryInfo(process, &counters, sizeof counters));
    EXPECT_EQ(counters.cb, sizeof counters);
    // Reading the status file may itself map memory (sanitizer runtimes do):
    // its figure lies between the counter's before and after.
    const unsigned long long status = StatusBytes("VmData:") + StatusBytes("VmStk:");
    EXPECT_LE(counters.PagefileUsage, status);
    EXPECT_LE(status, PrivateBytes(process));
    EXPECT_GT(counters.WorkingSetSize, 0u);
    EXPECT_GE(counters.PeakWorkingSetSize, counters.WorkingSetSize);

    const SIZE_T before = PrivateBytes(process);
    void* block = mmap(nullptr, kMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(block, MAP_FAILED);
    const SIZE_T mapped = PrivateBytes(process);
    EXPECT_GE(mapped, before + kMapped);
    EXPECT_LT(mapped, before + kMapped + kMapped / 16);
    munmap(block, kMapped);
    EXPECT_LT(PrivateBytes(process), before + kMapped / 16);
    PROCESS_MEMORY_COUNTERS after;
    ASSERT_TRUE(GetProcessMemoryInfo(process, &after, sizeof after));
    EXPECT_GE(after.PeakPagefileUsage, before + kMapped) << "the peak keeps the highest value answered";

    PROCESS_MEMORY_COUNTERS tooSmall;
    EXPECT_FALSE(GetProcessMemoryInfo(process, &tooSmall, sizeof tooSmall - 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CloseHandle(process);
}

// A handle opened before fork answers for the child in the child.
TEST(ProcessMemory, AChildCountsItsOwnMemory) {
    HANDLE process = OpenProcess(0x400, FALSE, GetCurrentProcessId());
    ASSERT_NE(process, nullptr);
    const SIZE_T parent = PrivateBytes(process);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        void* block = mmap(nullptr, kMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        const SIZE_T seen = PrivateBytes(process);
        const SIZE_T own = static_cast<SIZE_T>(StatusBytes("VmData:") + StatusBytes("VmStk:"));
        _exit(block != MAP_FAILED && seen <= own && seen >= parent + kMapped ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    CloseHandle(process);
}

}  // namespace
