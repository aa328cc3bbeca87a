// The event log as a host observes it: entries counted against the flood
// limit and the end of the process at the limit; on POSIX also what the
// stand-in hands the journal (a socket of the test) and its text log.
#include <regex>

#include "TestSupport.h"
#include "foundation/MemoryFixture.h"

#ifndef _WIN32
#include "platform/LogReceiver.h"

using zavtest::Field;

// The entries go to a socket of the test standing in for the journal.
class TestEventLog : public zavtest::LogReceiver {
public:
    TestEventLog() { ZAVPlatformTest_SetEventLogSockets(path().c_str(), ""); }
    ~TestEventLog() { ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr); }
    // The next entry as "PRIORITY IDENTIFIER: MESSAGE".
    void ExpectNext(const std::string& entry) {
        const zavtest::JournalFields f = zavtest::DecodeJournalEntry(Next().payload);
        EXPECT_EQ(Field(f, "PRIORITY") + " " + Field(f, "SYSLOG_IDENTIFIER") + ": " + Field(f, "MESSAGE"), entry);
    }
};
#else
// The system's log is not read back.
struct TestEventLog {
    void ExpectNext(const std::string&) {}
    bool Empty() { return true; }
};
#endif

namespace {

// The flood limit as a host finds it at load, a list for records, and the log.
class EventLog : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        g_LogEntriesCount = 0;
        g_LogEntriesMax = 500;
        g_LogMsgCancelTime = 14400;
        g_FirstLogMsgTime = 0;
        ZAV_MsgDestroyAll(&list_);
    }
    ZAVLinkAnchor list_ = {};
    TestEventLog log_;
};

// A record's insertions fill the template and are only read; a category
// gives the priority, a source the identifier. Nothing to format, or no
// source, means nothing written or counted; a first insertion that is
// empty leaves only nulls in the argument array.
TEST_F(EventLog, EntriesWithTheirPriorityAndSource) {
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 777, ZAVCatWarning50, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("first"));
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("second"));
    ZAV_LogEvent(*msg, ZAV_TEXT("%2 after %1"), nullptr);
    EXPECT_NE(g_FirstLogMsgTime, 0u) << "the window starts with the first entry";
    log_.ExpectNext("4 ZAVMsg: second after first");
    const struct { ZAVMsgCategory category; const WCHAR* source; const char* sender; } cases[] = {
        {ZAVCatInfo6, nullptr, "6 ZAVMsg"}, {ZAVCatInfo30, ZAV_TEXT(""), "6 ZAVMsg"},
        {static_cast<ZAVMsgCategory>(40), ZAV_TEXT("MyAgent"), "3 MyAgent"}};
    for (const auto& c : cases) {
        ZAV_LogEvent(c.category, ZAV_TEXT("text \u00e9"), 99, c.source);
        log_.ExpectNext(c.sender + std::string(": text \xc3\xa9"));
    }
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT(""), 1, nullptr);
    ZAV_LogEvent(ZAVCatInfo10, nullptr, 1, nullptr);         // no message tables
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("%1"), 1, nullptr);  // an insert without insertions
    EXPECT_EQ(g_LogEntriesCount, 4);
#ifndef _WIN32
    ZAVPlatformTest_FailRegisterEventSource(TRUE);
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("lost"), 1, nullptr);
    ZAVPlatformTest_FailRegisterEventSource(FALSE);
    EXPECT_TRUE(log_.Empty());
    msg = ZAV_MsgCreate(&list_, 1, ZAVCatInfo10, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, ZAV_TEXT(""));
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("unseen"));
    ZAV_LogEvent(*msg, ZAV_TEXT("[%1]"), nullptr);
    log_.ExpectNext("6 ZAVMsg: [(null)]");
    EXPECT_EQ(g_LogEntriesCount, 5);
#endif
}

// At the limit the process ends with 112 after a last entry; with a window
// of 0 the count starts a new window instead.
TEST_F(EventLog, FloodLimitEndsTheProcessWith112) {
    g_LogEntriesMax = 2;
    g_LogMsgCancelTime = 0;
    for (const char* entry : {"entry 1", "entry 2", "entry 3"}) {
        ZAV_LogEvent(ZAVCatInfo10, Widen(entry).c_str(), 1, nullptr);
        log_.ExpectNext(std::string("6 ZAVMsg: ") + entry);
    }
    EXPECT_EQ(g_LogEntriesCount, 1);
    g_LogMsgCancelTime = 14400;  // the window just begun has room for one more
    GTEST_FLAG_SET(death_test_style, "fast");  // on POSIX the child must send to this test's socket
    EXPECT_EXIT(
        {
            ZAV_LogEvent(ZAVCatError70, ZAV_TEXT("flood"), 1, nullptr);
            ZAV_LogEvent(ZAVCatError70, ZAV_TEXT("flood"), 1, nullptr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(112), "");
    log_.ExpectNext("3 ZAVMsg: flood");
    log_.ExpectNext("3 ZAVMsg: **** Process terminated due to too many error messages. ****");
    EXPECT_TRUE(log_.Empty());
}

#ifndef _WIN32
// Outside the NT family (read once: a fresh process), lines in EventLog.txt
// beside the program; an entry the file cannot take while another opening
// holds it is lost, not counted.
TEST_F(EventLog, TextLinesBesideTheProgramOutsideTheNtFamily) {
    const std::string file = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "EventLog.txt").string();
    std::filesystem::remove(file);
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        ZAVMsg* msg = ZAV_MsgCreate(&list_, 5, ZAVCatError70, 0, 0, 0, 0, nullptr);
        ZAV_MsgAddInsertion(msg, ZAV_TEXT("abc"));
        ZAV_LogEvent(*msg, ZAV_TEXT("wide %1!S!"), nullptr);
        ZAV_LogEvent(*msg, ZAV_TEXT("narrow %1"), nullptr);  // !s! is narrow in the ANSI form
        HANDLE holder = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
        ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("refused"), 1, nullptr);
        CloseHandle(holder);
        EXPECT_EQ(g_LogEntriesCount, 2);
    });
    const std::string stamp = "[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} ";
    EXPECT_TRUE(std::regex_match(ReadFile(file), std::regex(stamp + "wide abc\r\n" + stamp + "narrow a\r\n"))) << ReadFile(file);
    std::filesystem::remove(file);
}
#endif

}  // namespace
