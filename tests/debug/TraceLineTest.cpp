#include "EventLogCapture.h"
#include "FreshProcess.h"
#include "TraceTestSupport.h"
#include "ZAVPlatformTest.h"

namespace {

TEST(TraceLines, ElapsedFieldAndEmptyText) {
    ScratchDirectory dir;
    WString name = dir.Wide("lines");
    ZAVDebug trace;
    trace.TraceStart(name.data(), 0);
    trace.m_LastMsgTime = ZAV_TimerValue() - 12345678;  // 12345.678 ms ago: one character wider
    trace.InsertMsg(ZAV_TEXT("late"));
    trace.InsertMsg(ZAV_TEXT(""));
    ZAVString text(ZAV_TEXT("from a string"));
    trace.InsertMsg(text);
    trace.TraceStop(0);
    const std::string all = ReadFile(dir.File("lines.log"));
    const size_t late = all.find("late");
    const size_t start = all.rfind("\r\n", late) + 2;
    EXPECT_EQ(late - start, 20u) << all;
    EXPECT_TRUE(std::regex_match(all.substr(start + 8, 16), std::regex("  12345\\.[0-9]{3} late"))) << all;
    const std::string masked = Masked(all);
    EXPECT_NE(masked.find("T E late\r\nT E \r\nT E from a string\r\n"), std::string::npos) << masked;
}

// Without the NT memory query the counters read 0, so only the pool decides.
TEST(TraceLines, MemoryLinesAtTheThreshold) {
    ScratchDirectory dir;
    const WString name = dir.Wide("memory");
    const std::string path = dir.File("memory.log");
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        ZAV_MonitorMemory = 1;
        ZAV_PoolMemBusy = 0;
        ZAVDebug trace;
        WString mutableName = name;
        trace.TraceStart(mutableName.data(), 0);
        ZAV_PoolMemBusy = 1023;
        trace.InsertMsg(ZAV_TEXT("a"));  // 1023: below
        ZAV_PoolMemBusy = 2047;
        trace.InsertMsg(ZAV_TEXT("b"));  // 2047 - 0 reaches 1024
        ZAV_PoolMemBusy = 2647;
        trace.InsertMsg(ZAV_TEXT("c"));  // +600
        ZAV_PoolMemBusy = 3147;
        trace.InsertMsg(ZAV_TEXT("d"));  // +500 more: 1100 since the last line
        ZAV_PoolMemBusy = 3147 - 1024;
        trace.InsertMsg(ZAV_TEXT("e"));  // down by 1024
        trace.TraceStop(1);     // threshold 0: the closing line always has a memory line
        ZAV_MonitorMemory = 0;
        EXPECT_EQ(Masked(ReadFile(path)),
                  Header(path) + "T E a\r\n"
                                 "...Memory use changed. Internal Pool=2047, 2047. Process Bytes Allocated=0, 0\r\n"
                                 "T E b\r\nT E c\r\n"
                                 "...Memory use changed. Internal Pool=3147, 1100. Process Bytes Allocated=0, 0\r\n"
                                 "T E d\r\n"
                                 "...Memory use changed. Internal Pool=2123, -1024. Process Bytes Allocated=0, 0\r\n"
                                 "T E e\r\n"
                                 "...Memory use changed. Internal Pool=2123, 0. Process Bytes Allocated=0, 0\r\n"
                                 "T E Trace Closed.\r\n");
    });
}

TEST(TraceLines, MemoryQueryOnTheNtFamilyReportsTheProcess) {
    ScratchDirectory dir;
    WString name = dir.Wide("nt");
    ZAV_MonitorMemory = 1;
    ZAVDebug trace;
    trace.TraceStart(name.data(), 0);
    trace.InsertMsg(ZAV_TEXT("x"));
    trace.TraceStop(1);
    ZAV_MonitorMemory = 0;
    EXPECT_NE(trace.m_pfnGetProcessMemoryInfo, nullptr);
    EXPECT_NE(trace.m_hProcess, nullptr);
    EXPECT_GT(trace.m_LastMemCounters.PagefileUsage, 0u);
    const std::string text = ReadFile(dir.File("nt.log"));
    EXPECT_NE(text.find("Process Bytes Allocated=" + std::to_string(static_cast<intptr_t>(
                                                          trace.m_LastMemCounters.PagefileUsage))),
              std::string::npos)
        << text;
}

// On 64-bit builds the counter is shown whole, also past 2 GiB.
TEST(TraceLines, ProcessCounterAbove2GiBIsShownWhole) {
    if (sizeof(void*) < 8) GTEST_SKIP() << "a 32-bit counter is shown as the signed value it is";
    const SIZE_T big = static_cast<SIZE_T>(3) << 30;  // committed, never touched
    void* block = VirtualAlloc(nullptr, big, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(block, nullptr);
    ScratchDirectory dir;
    WString name = dir.Wide("big");
    ZAV_MonitorMemory = 1;
    {
        ZAVDebug trace;
        trace.TraceStart(name.data(), 0);
        trace.InsertMsg(ZAV_TEXT("x"));
        trace.TraceStop(0);
        ASSERT_GT(trace.m_LastMemCounters.PagefileUsage, big);
        const std::string text = ReadFile(dir.path() + "/big.log");
        EXPECT_NE(text.find("Process Bytes Allocated=" + std::to_string(trace.m_LastMemCounters.PagefileUsage) + ", "),
                  std::string::npos)
            << text;
    }
    ZAV_MonitorMemory = 0;
    VirtualFree(block, 0, MEM_RELEASE);
}

// A memory line that cannot be composed is reported with the memory line's
// step, 300, not the query's.
TEST(TraceLines, LostMemoryLineIsReportedAtItsStep) {
    EventLogCapture log;
    ScratchDirectory dir;
    WString name = dir.Wide("memfail");
    ZAV_MonitorMemory = 1;
    {
        ZAVDebug trace;
        trace.TraceStart(name.data(), 0);
        trace.m_MemChangeThreshold = 0;  // every line has a memory line
        log.Drain();
        ZAVPlatformTest_FailAllocation(1, FALSE);
        trace.InsertMsg(ZAV_TEXT("lost"));
        EXPECT_EQ(ZAVPlatformTest_AllocationsRefused(), 1u);
        ZAVPlatformTest_FailAllocation(0, FALSE);
        trace.TraceStop(0);
    }
    ZAV_MonitorMemory = 0;
    const std::vector<std::string> entries = log.Drain();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_NE(entries[0].find("ZAVDebug.InsertMsg PgmChkLoc=300, Original Text=\"lost\", memory trace used"),
              std::string::npos)
        << entries[0];
}

}  // namespace
