#include <cstdio>

#include "TraceTestSupport.h"

namespace {

TEST(TraceFile, FullPathNamesAreNumberedNeverReused) {
    ScratchDirectory dir;
    WString name = dir.Wide("run.log");
    ZAVDebug first, second, third;
    first.TraceStart(name.data(), 0);
    EXPECT_EQ(first.TraceActive(), 1);
    WString bare = dir.Wide("run");  // the same file, without ".log"
    second.TraceStart(bare.data(), 0);
    third.TraceStart(name.data(), 0);
    first.TraceStop(0);
    second.TraceStop(1);
    third.TraceStop(0);
    EXPECT_EQ(Masked(ReadFile(dir.File("run.log"))), Header(dir.File("run.log")));
    EXPECT_EQ(Masked(ReadFile(dir.File("run1.log"))), Header(dir.File("run1.log")) + "T E Trace Closed.\r\n");
    EXPECT_TRUE(dir.Exists("run2.log"));
    EXPECT_FALSE(dir.Exists("run3.log"));
}

TEST(TraceFile, HeaderLayoutExactly) {
    ScratchDirectory dir;
    WString name = dir.Wide("exact");
    ZAVDebug trace;
    trace.TraceStart(name.data(), 0);
    trace.TraceStop(0);
    const std::string text = ReadFile(dir.File("exact.log"));
    const std::string ending = ", ProcessId=" + std::to_string(GetCurrentProcessId()) + ", ThreadId=" +
                               std::to_string(GetCurrentThreadId()) + ", Log File=" + dir.File("exact.log") + "\r\n";
    ASSERT_GT(text.size(), ending.size()) << text;
    const std::regex layout(
        "Date=[0-9]{2}/[0-9]{2}/[0-9]{2}={80}\r\n"
        "[0-9]{2}:[0-9]{2}:[0-9]{2}  {0,7}[0-9]+\\.[0-9]{3} Trace Started\\. UserId=.+");
    EXPECT_TRUE(std::regex_match(text.substr(0, text.size() - ending.size()), layout)) << text;
    EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
    // The text of a line starts at character 19 with an empty routine stack.
    const size_t second = text.find("\r\n") + 2;
    EXPECT_EQ(text.compare(second + 19, 14, "Trace Started."), 0) << text;
}

TEST(TraceFile, BareNamesAndTheProgramsOwnName) {
    const std::string own = OwnTraceFile();
    const std::string folder = own.substr(0, own.find_last_of(kSeparators) + 1);
    const std::string bare = folder + "zavbare.log", doubled = folder + "zavbare.log.log";
    for (const std::string& file : {bare, doubled, own}) std::remove(file.c_str());
    {
        ZAVDebug a, b, c;
        WString name = ZAV_TEXT("zavbare"), withExtension = ZAV_TEXT("zavbare.log");
        a.TraceStart(name.data(), 0);
        b.TraceStart(withExtension.data(), 0);
        c.TraceStart();
    }
    EXPECT_EQ(Masked(ReadFile(bare)), Header(bare) + "T E Trace Closed.\r\n");
    EXPECT_EQ(Masked(ReadFile(doubled)), Header(doubled) + "T E Trace Closed.\r\n");
    EXPECT_EQ(Masked(ReadFile(own)), Header(own) + "T E Trace Closed.\r\n");
    for (const std::string& file : {bare, doubled, own}) std::remove(file.c_str());
}

TEST(TraceFile, StartIsRefusedWhileActiveAndCopiesStartInactive) {
    ScratchDirectory dir;
    WString name = dir.Wide("one"), other = dir.Wide("two");
    ZAVDebug trace;
    trace.TraceStart(name.data(), 0);
    trace.TraceStart(other.data(), 0);
    trace.TraceStart();
    EXPECT_EQ(WString(trace.m_TraceFileName.c_str()), name);
    EXPECT_FALSE(dir.Exists("two.log"));

    ZAVDebug copy(trace);
    EXPECT_EQ(copy.TraceActive(), 0);
    EXPECT_EQ(copy.m_TraceFileName.length(), 0u);
    ZAVDebug assigned;
    assigned = trace;
    EXPECT_EQ(assigned.m_hTraceFile, nullptr);
    EXPECT_EQ(trace.TraceActive(), 1);

    ZAVDebug inactive;
    inactive.TraceStop(1);  // nothing to close
    EXPECT_EQ(inactive.TraceActive(), 0);
    const ZAVUInt64 before = inactive.m_LastMsgTime;
    inactive.InsertMsg(ZAV_TEXT("dropped"));
    EXPECT_EQ(inactive.m_LastMsgTime, before);  // not even the clock moves
}

TEST(TraceFile, UnwritableDirectoryLeavesTheTraceInactive) {
    ZAVDebug trace;
    ScratchDirectory dir;
    WString name = dir.Wide("no-such-dir") + Widen(std::string(1, kSeparators[0]) + "trace");
    trace.TraceStart(name.data(), 0);
    EXPECT_EQ(trace.TraceActive(), 0);
    EXPECT_EQ(trace.m_hTraceFile, nullptr);
}

TEST(TraceFile, WrapSizeMakesARingAndNoFile) {
    ScratchDirectory dir;
    WString name = dir.Wide("wrap");
    ZAVDebug trace;
    trace.TraceStart(name.data(), 500);
    EXPECT_EQ(trace.TraceActive(), 0);
    EXPECT_EQ(trace.TraceWrapActive(), 1);
    EXPECT_EQ(trace.m_pWrapLimit - trace.m_pWrapBuf, 1020);
    EXPECT_FALSE(dir.Exists("wrap.log"));
}

// Past the limit the line is still written whole, the roll-over line ends
// the file and the trace goes on in the next numbered one.
TEST(TraceFile, RollOverToTheNextNumberedFile) {
    ScratchDirectory dir;
    WString name = dir.Wide("big");
    ZAVDebug trace;
    trace.TraceStart(name.data(), 0);
    const size_t opening = ReadFile(dir.File("big.log")).size();
    trace.MaxLogSize(static_cast<DWORD>(opening + 80));
    const WString longText(100, ZAV_TEXT('x'));
    trace.InsertMsg(longText.c_str());
    trace.InsertMsg(ZAV_TEXT("in the next file"));
    trace.TraceStop(1);
    EXPECT_EQ(Masked(ReadFile(dir.File("big.log"))),
              Header(dir.File("big.log")) + "T E " + std::string(100, 'x') + "\r\n" +
                  "--Trace closed and re-opened due to trace size.\r\n");
    EXPECT_EQ(Masked(ReadFile(dir.File("big1.log"))),
              Header(dir.File("big1.log")) + "T E in the next file\r\n" + "T E Trace Closed.\r\n");
}

// A limit smaller than the opening lines: every file exceeds it at once, yet
// each call moves on by one file only.
TEST(TraceFile, TinyLimitDoesNotRecurse) {
    ScratchDirectory dir;
    WString name = dir.Wide("tiny");
    ZAVDebug trace;
    trace.MaxLogSize(10);
    trace.TraceStart(name.data(), 0);
    trace.InsertMsg(ZAV_TEXT("one"));
    trace.InsertMsg(ZAV_TEXT("two"));
    trace.TraceStop(0);
    // The date line alone passes the limit, so even the header gives way to the notice.
    const std::string notice = "T E **** Trace terminated because it is too large. ****\r\n";
    EXPECT_EQ(Masked(ReadFile(dir.File("tiny.log"))),
              "Date=D\r\n" + notice + notice + "--Trace closed and re-opened due to trace size.\r\n");
    EXPECT_TRUE(dir.Exists("tiny2.log"));
    EXPECT_FALSE(dir.Exists("tiny3.log"));
}

// Past the limit a short message deep in the routine stack is replaced by
// the longer notice, indented as the message would be: the line's room
// must count the indentation as well as the notice.
TEST(TraceFile, TheSizeNoticeTakesTheIndentationOfADeepShortMessage) {
    ScratchDirectory dir;
    WString name = dir.Wide("deep");
    ZAVDebug trace;
    trace.MaxLogSize(10);
    trace.TraceStart(name.data(), 0);
    for (int level = 0; level < 24; ++level) trace.RoutinePush(ZAV_TEXT("A"), ZAV_TEXT("b"), nullptr, 0);
    trace.InsertMsg(ZAV_TEXT("x"));
    trace.TraceStop(0);
    // Each line moves on by one file; the message at level 23 is in one of them.
    std::string all = ReadFile(dir.File("deep.log"));
    for (int n = 2; dir.Exists("deep" + std::to_string(n) + ".log"); ++n)
        all += ReadFile(dir.File("deep" + std::to_string(n) + ".log"));
    const std::string line = " " + std::string(4 * 24, ' ') + "**** Trace terminated because it is too large. ****\r\n";
    EXPECT_NE(all.find(line), std::string::npos) << all;
}

}  // namespace
