// Trace files and their lines: names, layout, the size limit; on POSIX also
// what the stand-in makes fail, an older platform and a killed process.
#include <cstdio>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#endif

#include "TraceTestSupport.h"

namespace {

const std::string kClosed = "T E Trace Closed.\r\n";

// Full names are numbered, never reused; the header names this process and
// a line's text starts at column 19, or one further when the elapsed
// milliseconds need the room. A start is refused while active and copies
// start inactive; a folder that refuses the file, or a wrap size, makes no file.
TEST(TraceFile, NamesLinesAndStartsThatMakeNoFile) {
    ScratchTrace first("run");  // the same file, with ".log" and without
    WString withExtension = first.dir.Wide("run.log"), missing = first.dir.Wide("none") + ZAV_TEXT("/x");
    ZAVDebug second, third, copy(first.trace), assigned, unwritable, wrap;
    second.TraceStart(withExtension.data(), 0);
    third.TraceStart(first.name.data(), 0);
    first.trace.TraceStart(withExtension.data(), 0);
    first.trace.TraceStart();
    assigned = first.trace;
    unwritable.TraceStart(missing.data(), 0);
    wrap.TraceStart(withExtension.data(), 500);
    second.m_LastMsgTime = ZAV_TimerValue() - 12345678;
    second.InsertMsg(ZAV_TEXT("late"));
    first.trace.TraceStop(0);
    second.TraceStop(1);
    const std::string all = ReadFile(first.Path(1));
    const size_t late = all.find(" late\r\n");
    EXPECT_NE(all.find(", ProcessId=" + std::to_string(GetCurrentProcessId()) + ","), std::string::npos) << all;
    EXPECT_EQ(all.substr(late - 11, 16), "  12345." + all.substr(late - 3, 3) + " late") << all;
    EXPECT_EQ(late - all.rfind("\r\n", late), 21u) << all;
    EXPECT_EQ(first.Text(), Header(first.Path()));
    EXPECT_EQ(first.Text(1), Header(first.Path(1)) + "T E late\r\n" + kClosed);
    EXPECT_EQ(copy.TraceActive() + assigned.TraceActive() + unwritable.TraceActive() + wrap.TraceActive(), 0);
    EXPECT_EQ(std::make_pair(unwritable.TraceWrapActive(), wrap.TraceWrapActive()), std::make_pair(0, 1));
    EXPECT_TRUE(first.dir.Exists("run2.log"));
    EXPECT_FALSE(first.dir.Exists("run3.log"));
}

// A bare name goes beside the program, ".log" or not; no name is the
// program's own, which a heap report of an inactive trace opens and closes.
TEST(TraceFile, BareNamesAndTheProgramsOwnName) {
    const std::string own = OwnTraceFile(), folder = own.substr(0, own.find_last_of("\\/") + 1);
    const std::string files[] = {folder + "zavbare.log", folder + "zavbare.log.log", own};
    for (const std::string& file : files) std::remove(file.c_str());
    {
        ZAVDebug a, b, c;
        WString name = ZAV_TEXT("zavbare"), withExtension = ZAV_TEXT("zavbare.log");
        a.TraceStart(name.data(), 0);
        b.TraceStart(withExtension.data(), 0);
        c.TraceHeap(nullptr, 0x2, 0, -1);
        EXPECT_EQ(c.TraceActive(), 0);
    }
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Masked(ReadFile(files[i])), Header(files[i]) + kClosed);
    const auto report = ReportLines(Masked(ReadFile(own)));
    ASSERT_GE(report.size(), 4u);
    EXPECT_EQ(report[1] + report[report.size() - 2] + report.back(), "...>>> Detailed Heap Trace <<<...HeapWalk complete.Trace Closed.");
    for (const std::string& file : files) std::remove(file.c_str());
}

// A limit below the opening lines: every file exceeds it at once, yet each
// line moves on by one file only; the notice that replaces a short message
// deep in the routine stack has room for the message's indentation too.
TEST(TraceFile, TinyLimitDoesNotRecurseAndTheNoticeKeepsItsIndentation) {
    ScratchTrace t("tiny", 0, 10);
    t.trace.InsertMsg(ZAV_TEXT("one"));
    t.trace.InsertMsg(ZAV_TEXT("two"));
    const std::string notice = "**** Trace terminated because it is too large. ****\r\n";
    EXPECT_EQ(t.Text(), "Date=D\r\nT E " + notice + "T E " + notice + "--Trace closed and re-opened due to trace size.\r\n");
    EXPECT_FALSE(t.dir.Exists("tiny3.log"));
    for (int level = 0; level < 24; ++level) t.trace.RoutinePush(ZAV_TEXT("A"), ZAV_TEXT("b"), nullptr, 0);
    t.trace.InsertMsg(ZAV_TEXT("x"));
    t.trace.TraceStop(0);
    std::string all;
    for (int n = 2; t.dir.Exists("tiny" + std::to_string(n) + ".log"); ++n) all += ReadFile(t.Path(n));
    EXPECT_NE(all.find(" " + std::string(4 * 24, ' ') + notice), std::string::npos) << all;
}

// The NT family's memory query reports the process; on 64-bit builds the
// counter is shown whole, also past 2 GiB.
TEST(TraceLines, MemoryLinesShowTheProcessCounterWhole) {
    const SIZE_T big = sizeof(void*) < 8 ? 0 : static_cast<SIZE_T>(3) << 30;  // committed, never touched
    void* block = big != 0 ? VirtualAlloc(nullptr, big, MEM_COMMIT, PAGE_READWRITE) : nullptr;
    ZAV_MonitorMemory = 1;
    ScratchTrace t("memory");
    t.trace.InsertMsg(ZAV_TEXT("x"));
    t.trace.TraceStop(1);
    ZAV_MonitorMemory = 0;
    if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
    const SIZE_T used = t.trace.m_LastMemCounters.PagefileUsage;
    EXPECT_GT(used, 0u);
    const std::string shown = big != 0 ? std::to_string(used) : std::to_string(static_cast<intptr_t>(used));
    EXPECT_NE(ReadFile(t.Path()).find("Process Bytes Allocated=" + shown + ", "), std::string::npos) << t.Text();
    if (big != 0 && used <= big) GTEST_SKIP() << "this system leaves committed, untouched memory out of the count";
}

#ifndef _WIN32
// Every line is on disk when InsertMsg returns: a killed process loses none.
TEST(TraceFile, KilledProcessLeavesEveryWrittenLine) {
    ScratchTrace t("crash");
    const pid_t child = fork();
    if (child == 0) {
        for (int i = 0; i < 200; ++i) t.trace.InsertMsg(ZAV_TEXT("line"));
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    std::string lines = Header(t.Path());
    for (int i = 0; i < 200; ++i) lines += "T E line\r\n";
    EXPECT_EQ(t.Text(), lines);
}

// A line whose write fails part way (a full disk) leaves the file as it was
// before it: no torn line, and the next line starts a line of its own.
void WriteOneToFourWithTheEvenOnesFailing(const char* base) {
    ScratchTrace t(base);
    const WCHAR* lines[] = {ZAV_TEXT("one"), ZAV_TEXT("two, torn"), ZAV_TEXT("three"), ZAV_TEXT("four, the last, torn")};
    for (int i = 0; i < 4; ++i) {
        ZAVPlatformTest_FailWrite(i % 2, 7, FALSE);
        t.trace.InsertMsg(lines[i]);
        EXPECT_EQ(ZAVPlatformTest_WritesFailed(), static_cast<DWORD>(i % 2));
    }
    ZAVPlatformTest_FailWrite(0, 0, FALSE);
    t.trace.TraceStop(0);
    EXPECT_EQ(t.Text(), Header(t.Path()) + "T E one\r\nT E three\r\n");
}

// Without the NT memory query the process counters read 0, so the pool
// alone decides: a memory line when it moved by 1024 since the last one, and
// always with the closing line.
void MemoryLinesAtTheThreshold() {
    const struct { ZAVUInt64 pool; const char *line, *memory; } steps[] = {
        {1023, "a", nullptr}, {2047, "b", "2047, 2047"}, {2647, "c", nullptr},
        {3147, "d", "3147, 1100"}, {3147 - 1024, "e", "2123, -1024"}, {2123, nullptr, "2123, 0"}};
    ZAV_MonitorMemory = 1;
    ZAV_PoolMemBusy = 0;
    ScratchTrace t("memory");
    std::string expected = Header(t.Path());
    for (const auto& step : steps) {
        ZAV_PoolMemBusy = step.pool;
        if (step.line) t.trace.InsertMsg(Widen(step.line).c_str());
        if (step.memory) expected += "...Memory use changed. Internal Pool=" + std::string(step.memory) + ". Process Bytes Allocated=0, 0\r\n";
        if (step.line) expected += "T E " + std::string(step.line) + "\r\n";
    }
    t.trace.TraceStop(1);  // threshold 0: the closing line always has a memory line
    ZAV_MonitorMemory = 0;
    EXPECT_EQ(t.Text(), expected + kClosed);
}

// Failed writes with overlapped writes and, outside the NT family, with
// synchronous ones; there also the memory lines of the pool alone.
TEST(TraceFileWrites, AFailedLineLeavesNoTraceAndAnOlderPlatformTracesThePool) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        MemoryLinesAtTheThreshold();
        WriteOneToFourWithTheEvenOnesFailing("synchronous");
    });
    WriteOneToFourWithTheEvenOnesFailing("overlapped");
}

// Starting never lets a failure out: without memory for the name the trace
// stays inactive, and a later start works.
TEST(TraceFile, AStartWithoutMemoryForTheNameLeavesTheTraceInactive) {
    ScratchDirectory dir;
    WString name = dir.Wide("nameless");
    ZAVDebug trace;
    for (DWORD wrapSize : {0u, 4096u}) {
        ZAVPlatformTest_FailAllocation(1, FALSE);
        EXPECT_NO_THROW(trace.TraceStart(name.data(), wrapSize));
        EXPECT_EQ(ZAVPlatformTest_AllocationsRefused(), 1u);
        ZAVPlatformTest_FailAllocation(0, FALSE);
        EXPECT_EQ(trace.TraceActive() + trace.TraceWrapActive(), 0);
    }
    EXPECT_FALSE(dir.Exists("nameless.log"));
    trace.TraceStart(name.data(), 0);
    EXPECT_EQ(trace.TraceActive(), 1);
}

// A memory line that cannot be composed is reported with the memory line's
// step, 300, not the query's.
TEST(TraceLines, LostMemoryLineIsReportedAtItsStep) {
    EventLogCapture log;
    ZAV_MonitorMemory = 1;
    ScratchTrace t("memfail");
    t.trace.m_MemChangeThreshold = 0;  // every line has a memory line
    log.Drain();
    ZAVPlatformTest_FailAllocation(1, FALSE);
    t.trace.InsertMsg(ZAV_TEXT("lost"));
    ZAVPlatformTest_FailAllocation(0, FALSE);
    ZAV_MonitorMemory = 0;
    const std::vector<std::string> entries = log.Drain();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_NE(entries[0].find("ZAVDebug.InsertMsg PgmChkLoc=300, Original Text=\"lost\", memory trace used"),
              std::string::npos) << entries[0];
}
#endif

}  // namespace
