#include "TraceTestSupport.h"

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
    struct Restore {
        void* block;
        ~Restore() {
            ZAV_MonitorMemory = 0;
            VirtualFree(block, 0, MEM_RELEASE);
        }
    } restore{block};
    ScratchDirectory dir;
    WString name = dir.Wide("big");
    ZAV_MonitorMemory = 1;
    ZAVDebug trace;
    trace.TraceStart(name.data(), 0);
    trace.InsertMsg(ZAV_TEXT("x"));
    trace.TraceStop(0);
    if (trace.m_LastMemCounters.PagefileUsage <= big)
        GTEST_SKIP() << "this system leaves committed, untouched memory out of the process's count";
    const std::string text = ReadFile(dir.File("big.log"));
    EXPECT_NE(text.find("Process Bytes Allocated=" + std::to_string(trace.m_LastMemCounters.PagefileUsage) + ", "),
              std::string::npos)
        << text;
}

}  // namespace
