// The event log as a host observes it: entries counted against the flood
// limit and the end of the process at the limit; on POSIX also what the
// stand-in hands the journal (a socket of the test) and its text log.
#include <cstdlib>

#include <gtest/gtest.h>

#include "WString.h"
#include "ZAVUtil1.h"

#ifndef _WIN32
#include <unistd.h>

#include <regex>

#include "ScratchDirectory.h"
#include "ZAVEventOutlet.h"
#include "ZAVPlatformTest.h"
#include "platform/LogReceiver.h"

// The entries go to a socket of the test standing in for the journal.
class TestEventLog : public zavtest::LogReceiver {
public:
    TestEventLog() { ZAVPlatformTest_SetEventLogSockets(path().c_str(), ""); }
    ~TestEventLog() { ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr); }
    // The next entry's fields (no check for those left out).
    void ExpectNext(const std::string& message, const char* priority = nullptr, const char* identifier = nullptr) {
        const zavtest::JournalFields fields = zavtest::DecodeJournalEntry(Next().payload);
        EXPECT_EQ(zavtest::Field(fields, "MESSAGE"), message);
        EXPECT_TRUE(priority == nullptr || zavtest::Field(fields, "PRIORITY") == priority) << message;
        EXPECT_TRUE(identifier == nullptr || zavtest::Field(fields, "SYSLOG_IDENTIFIER") == identifier) << message;
    }
};
#else
// The system's log is not read back.
struct TestEventLog {
    void ExpectNext(const std::string&, const char* = nullptr, const char* = nullptr) {}
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

// A record's insertions fill the template; a category gives the priority,
// a source the identifier.
TEST_F(EventLog, EntriesWithTheirPriorityAndSource) {
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 777, ZAVCatWarning50, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("first"));
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("second"));
    ZAV_LogEvent(*msg, ZAV_TEXT("%2 after %1"), nullptr);
    EXPECT_EQ(msg->InsertionBytes, 28u);  // only read
    EXPECT_NE(g_FirstLogMsgTime, 0u) << "the window starts with the first entry";
    log_.ExpectNext("second after first", "4", "ZAVMsg");  // the pid and event id: tests/platform
    const struct { ZAVMsgCategory category; const WCHAR* source; const char *priority, *identifier; } cases[] = {
        {ZAVCatInfo6, nullptr, "6", "ZAVMsg"}, {ZAVCatInfo30, ZAV_TEXT(""), "6", "ZAVMsg"},
        {static_cast<ZAVMsgCategory>(40), ZAV_TEXT("MyAgent"), "3", "MyAgent"}, {ZAVCatError90, ZAV_TEXT("MyAgent"), "3", "MyAgent"}};
    for (const auto& c : cases) {
        ZAV_LogEvent(c.category, ZAV_TEXT("text \u00e9"), 99, c.source);
        log_.ExpectNext("text \xc3\xa9", c.priority, c.identifier);
    }
    EXPECT_EQ(g_LogEntriesCount, 5);
}

TEST_F(EventLog, NothingToFormatMeansNothingCounted) {
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT(""), 1, nullptr);
    ZAV_LogEvent(ZAVCatInfo10, nullptr, 1, nullptr);         // no message tables
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("%1"), 1, nullptr);  // an insert without insertions
#ifndef _WIN32
    ZAVPlatformTest_FailRegisterEventSource(TRUE);  // no source
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("lost"), 1, nullptr);
    ZAVPlatformTest_FailRegisterEventSource(FALSE);
    EXPECT_TRUE(log_.Empty());
    // A first insertion that is empty leaves only nulls in the argument array.
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 1, ZAVCatInfo10, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, ZAV_TEXT(""));
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("unseen"));
    ZAV_LogEvent(*msg, ZAV_TEXT("[%1]"), nullptr);
    log_.ExpectNext("[(null)]");
    EXPECT_EQ(g_LogEntriesCount, 1);
#else
    EXPECT_EQ(g_LogEntriesCount, 0);
#endif
}

// At the limit the process ends with 112 after a last entry; with a window
// of 0 the count starts a new window instead.
TEST_F(EventLog, FloodLimitEndsTheProcessWith112) {
    g_LogEntriesMax = 2;
    g_LogMsgCancelTime = 0;
    for (int i = 1; i <= 3; ++i) ZAV_LogEvent(ZAVCatInfo10, (ZAV_TEXT("entry ") + WString(1, ZAV_TEXT('0') + i)).c_str(), 1, nullptr);
    for (const char* message : {"entry 1", "entry 2", "entry 3"}) log_.ExpectNext(message);
    EXPECT_EQ(g_LogEntriesCount, 1);
    g_LogEntriesCount = 0;
    g_LogMsgCancelTime = 14400;
#ifdef _WIN32
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#else
    GTEST_FLAG_SET(death_test_style, "fast");  // the child must send to this test's socket
#endif
    EXPECT_EXIT(
        {
            for (int i = 0; i < 2; ++i) ZAV_LogEvent(ZAVCatError70, ZAV_TEXT("flood"), 1, nullptr);
            if (g_LogEntriesCount != 2) std::_Exit(1);
            ZAV_LogEvent(ZAVCatError70, ZAV_TEXT("flood"), 1, nullptr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(112), "");
    for (const char* message : {"flood", "flood", "**** Process terminated due to too many error messages. ****"})
        log_.ExpectNext(message);
#ifndef _WIN32
    EXPECT_TRUE(log_.Empty());
#endif
}

#ifndef _WIN32

// Outside the NT family, lines in EventLog.txt beside the program; an entry
// the file cannot take while another opening holds it is lost, not counted.
TEST(TextEventLog, LinesBesideTheProgramOutsideTheNtFamily) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string program(exe, n > 0 ? static_cast<size_t>(n) : 0);
    const std::string file = program.substr(0, program.rfind('/')) + "/EventLog.txt";
    unlink(file.c_str());
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: the family is read once
    EXPECT_EXIT(
        {
            ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
            ZAVLinkAnchor list = {};
            ZAVMsg* msg = ZAV_MsgCreate(&list, 5, ZAVCatError70, 0, 0, 0, 0, nullptr);
            ZAV_MsgAddInsertion(msg, ZAV_TEXT("abc"));
            ZAV_LogEvent(*msg, ZAV_TEXT("wide %1!S!"), nullptr);
            ZAV_LogEvent(*msg, ZAV_TEXT("narrow %1"), nullptr);  // !s! is narrow in the ANSI form
            HANDLE holder = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
            ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("refused"), 1, nullptr);
            CloseHandle(holder);
            _exit(g_LogEntriesCount == 2 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    const std::string stamp = "[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} ";
    EXPECT_TRUE(std::regex_match(ReadFile(file), std::regex(stamp + "wide abc\r\n" + stamp + "narrow a\r\n"))) << ReadFile(file);
    unlink(file.c_str());
}
#endif

}  // namespace
