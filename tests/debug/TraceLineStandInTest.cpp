// Trace lines where the stand-in emulates an older platform or refuses an
// allocation, its failure report read back from the stand-in's system log.
#include "EventLogCapture.h"
#include "FreshProcess.h"
#include "TraceTestSupport.h"
#include "ZAVPlatformTest.h"

namespace {

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

// A memory line that cannot be composed is reported with the memory line's
// step, 300, not the query's.
TEST(TraceLines, LostMemoryLineIsReportedAtItsStep) {
    EventLogCapture log;
    ZAV_MonitorMemory = 1;
    {
        ScratchTrace t("memfail");
        t.trace.m_MemChangeThreshold = 0;  // every line has a memory line
        log.Drain();
        ZAVPlatformTest_FailAllocation(1, FALSE);
        t.trace.InsertMsg(ZAV_TEXT("lost"));
        EXPECT_EQ(ZAVPlatformTest_AllocationsRefused(), 1u);
        ZAVPlatformTest_FailAllocation(0, FALSE);
    }
    ZAV_MonitorMemory = 0;
    const std::vector<std::string> entries = log.Drain();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_NE(entries[0].find("ZAVDebug.InsertMsg PgmChkLoc=300, Original Text=\"lost\", memory trace used"),
              std::string::npos)
        << entries[0];
}

}  // namespace
