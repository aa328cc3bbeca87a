#include <cstdio>

#include "TraceTestSupport.h"

namespace {

TEST(TraceFile, FullPathNamesAreNumberedNeverReused) {
    ScratchTrace first("run");  // the same file, with ".log" and without
    WString withExtension = first.dir.Wide("run.log");
    ZAVDebug second, third;
    second.TraceStart(withExtension.data(), 0);
    third.TraceStart(first.name.data(), 0);
    first.trace.TraceStop(0);
    second.TraceStop(1);
    EXPECT_EQ(first.Text(), Header(first.Path()));
    EXPECT_EQ(first.Text(1), Header(first.Path(1)) + "T E Trace Closed.\r\n");
    EXPECT_TRUE(first.dir.Exists("run2.log"));
    EXPECT_FALSE(first.dir.Exists("run3.log"));
}

TEST(TraceFile, HeaderLayoutExactly) {
    ScratchTrace t("exact");
    t.trace.TraceStop(0);
    const std::string text = ReadFile(t.Path());
    const std::string ending = ", ProcessId=" + std::to_string(GetCurrentProcessId()) + ", ThreadId=" +
                               std::to_string(GetCurrentThreadId()) + ", Log File=" + t.Path() + "\r\n";
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
    ScratchTrace t("one");
    WString other = t.dir.Wide("two");
    t.trace.TraceStart(other.data(), 0);
    t.trace.TraceStart();
    EXPECT_EQ(WString(t.trace.m_TraceFileName.c_str()), t.name);
    EXPECT_FALSE(t.dir.Exists("two.log"));
    ZAVDebug copy(t.trace), assigned;
    assigned = t.trace;
    EXPECT_EQ(copy.TraceActive() + assigned.TraceActive(), 0);
    EXPECT_EQ(t.trace.TraceActive(), 1);
    const ZAVUInt64 before = copy.m_LastMsgTime;
    copy.InsertMsg(ZAV_TEXT("dropped"));
    EXPECT_EQ(copy.m_LastMsgTime, before);  // inactive: not even the clock moves
}

// A folder that refuses the file, or a wrap size: no file, and for the
// wrap size a ring of its own.
TEST(TraceFile, NoFileWithoutAFolderOrWithAWrapSize) {
    ScratchDirectory dir;
    WString missing = dir.Wide("no-such-dir") + Widen(std::string(1, kSeparators[0]) + "trace");
    ZAVDebug unwritable;
    unwritable.TraceStart(missing.data(), 0);
    EXPECT_EQ(unwritable.TraceActive() + unwritable.TraceWrapActive(), 0);
    ScratchTrace wrap("wrap", 500);
    EXPECT_EQ(wrap.trace.TraceActive(), 0);
    EXPECT_EQ(wrap.trace.TraceWrapActive(), 1);
    EXPECT_FALSE(wrap.dir.Exists("wrap.log"));
}

// Past the limit the line is still written whole, the roll-over line ends
// the file and the trace goes on in the next numbered one.
TEST(TraceFile, RollOverToTheNextNumberedFile) {
    ScratchTrace t("big");
    t.trace.MaxLogSize(static_cast<DWORD>(ReadFile(t.Path()).size() + 80));
    t.trace.InsertMsg(WString(100, ZAV_TEXT('x')).c_str());
    t.trace.InsertMsg(ZAV_TEXT("in the next file"));
    t.trace.TraceStop(1);
    EXPECT_EQ(t.Text(), Header(t.Path()) + "T E " + std::string(100, 'x') + "\r\n" +
                            "--Trace closed and re-opened due to trace size.\r\n");
    EXPECT_EQ(t.Text(1), Header(t.Path(1)) + "T E in the next file\r\n" + "T E Trace Closed.\r\n");
}

// A limit smaller than the opening lines: every file exceeds it at once, yet
// each call moves on by one file only.
TEST(TraceFile, TinyLimitDoesNotRecurse) {
    ScratchTrace t("tiny", 0, 10);
    t.trace.InsertMsg(ZAV_TEXT("one"));
    t.trace.InsertMsg(ZAV_TEXT("two"));
    t.trace.TraceStop(0);
    // The date line alone passes the limit, so even the header gives way to the notice.
    const std::string notice = "T E **** Trace terminated because it is too large. ****\r\n";
    EXPECT_EQ(t.Text(), "Date=D\r\n" + notice + notice + "--Trace closed and re-opened due to trace size.\r\n");
    EXPECT_TRUE(t.dir.Exists("tiny2.log"));
    EXPECT_FALSE(t.dir.Exists("tiny3.log"));
}

// Past the limit a short message deep in the routine stack is replaced by
// the longer notice, indented as the message would be: the line's room
// must count the indentation as well as the notice.
TEST(TraceFile, TheSizeNoticeTakesTheIndentationOfADeepShortMessage) {
    ScratchTrace t("deep", 0, 10);
    for (int level = 0; level < 24; ++level) t.trace.RoutinePush(ZAV_TEXT("A"), ZAV_TEXT("b"), nullptr, 0);
    t.trace.InsertMsg(ZAV_TEXT("x"));
    t.trace.TraceStop(0);
    // Each line moves on by one file; the message at level 23 is in one of them.
    std::string all = ReadFile(t.Path());
    for (int n = 2; t.dir.Exists("deep" + std::to_string(n) + ".log"); ++n) all += ReadFile(t.Path(n));
    const std::string line = " " + std::string(4 * 24, ' ') + "**** Trace terminated because it is too large. ****\r\n";
    EXPECT_NE(all.find(line), std::string::npos) << all;
}

}  // namespace
