// Trace files where the stand-in emulates an older platform or fails a
// write, and a process that POSIX kills.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FreshProcess.h"
#include "TraceTestSupport.h"
#include "ZAVPlatformTest.h"

namespace {

// Every line is on disk when InsertMsg returns: a killed process loses none.
TEST(TraceFile, KilledProcessLeavesEveryWrittenLine) {
    ScratchDirectory dir;
    WString name = dir.Wide("crash");
    const pid_t child = fork();
    if (child == 0) {
        ZAVDebug* trace = new ZAVDebug;
        trace->TraceStart(name.data(), 0);
        for (int i = 0; i < 200; ++i) trace->InsertMsg((ZAV_TEXT("line ") + WString(1, ZAV_TEXT('a') + i % 26)).c_str());
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::string text = ReadFile(dir.File("crash.log"));
    size_t lines = 0;
    for (size_t at = text.find("line "); at != std::string::npos; at = text.find("line ", at + 1)) ++lines;
    EXPECT_EQ(lines, 200u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.find("Trace Closed."), std::string::npos);
}

// A line whose write fails part way (a full disk) leaves the file as it was
// before it: no torn line, and the next line starts a line of its own; with
// overlapped writes and with the synchronous ones outside the NT family.
void WriteOneToFourWithTheEvenOnesFailing(const char* base) {
    ScratchTrace t(base);
    t.trace.InsertMsg(ZAV_TEXT("one"));
    ZAVPlatformTest_FailWrite(1, 7, FALSE);
    t.trace.InsertMsg(ZAV_TEXT("two, which the full disk tears"));
    EXPECT_EQ(ZAVPlatformTest_WritesFailed(), 1u);
    ZAVPlatformTest_FailWrite(0, 0, FALSE);
    t.trace.InsertMsg(ZAV_TEXT("three"));
    ZAVPlatformTest_FailWrite(1, 7, FALSE);
    t.trace.InsertMsg(ZAV_TEXT("four, the last line, torn as well"));
    ZAVPlatformTest_FailWrite(0, 0, FALSE);
    t.trace.TraceStop(0);
    EXPECT_EQ(t.Text(), Header(t.Path()) + "T E one\r\nT E three\r\n");
}

TEST(TraceFileWrites, AFailedLineLeavesNoTrace) {
    WriteOneToFourWithTheEvenOnesFailing("overlapped");
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        WriteOneToFourWithTheEvenOnesFailing("synchronous");
    });
}

// Starting never lets a failure out: without memory for the name the
// trace stays inactive, and a later start works.
TEST(TraceFile, AStartWithoutMemoryForTheNameLeavesTheTraceInactive) {
    ScratchDirectory dir;
    WString name = dir.Wide("nameless");
    ZAVDebug trace;
    for (DWORD wrapSize : {0u, 4096u}) {
        ZAVPlatformTest_FailAllocation(1, FALSE);
        EXPECT_NO_THROW(trace.TraceStart(name.data(), wrapSize));
        EXPECT_EQ(ZAVPlatformTest_AllocationsRefused(), 1u);
        ZAVPlatformTest_FailAllocation(0, FALSE);
        EXPECT_EQ(trace.TraceActive(), 0);
        EXPECT_EQ(trace.TraceWrapActive(), 0);
    }
    EXPECT_FALSE(dir.Exists("nameless.log"));
    trace.TraceStart(name.data(), 0);
    EXPECT_EQ(trace.TraceActive(), 1);
}

}  // namespace
