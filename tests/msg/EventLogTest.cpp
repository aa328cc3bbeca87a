// The event log as a host observes it: entries counted against the flood
// limit and the end of the process at the limit; on POSIX also what the
// stand-in hands the journal (a socket of the test) and its text log.
#include <cstdlib>

#ifndef _WIN32
#include <unistd.h>

#include <fstream>
#include <regex>

#include "ZAVEventOutlet.h"
#endif

#include "TestEventLog.h"
#include "WString.h"

namespace {

using EventLog = EventLogFixture;

TEST_F(EventLog, InsertionsFillTheTemplateAndTheRecordIsOnlyRead) {
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 777, ZAVCatWarning50, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("first"));
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("second"));
    ZAV_LogEvent(*msg, ZAV_TEXT("%2 after %1"), nullptr);
#ifndef _WIN32
    const zavtest::JournalFields fields = zavtest::DecodeJournalEntry(log_.Next().payload);
    const std::pair<const char*, std::string> expected[] = {{"PRIORITY", "4"},  // a warning
                                                            {"SYSLOG_IDENTIFIER", "ZAVMsg"},
                                                            {"SYSLOG_PID", std::to_string(getpid())},
                                                            {"EVENT_ID", "1"},
                                                            {"MESSAGE", "second after first"}};
    for (const auto& field : expected) EXPECT_EQ(zavtest::Field(fields, field.first), field.second) << field.first;
#endif
    EXPECT_EQ(g_LogEntriesCount, 1);
    EXPECT_EQ(msg->InsertionBytes, 28u);
    EXPECT_NE(g_FirstLogMsgTime, 0u) << "the window starts with the first entry";
}

TEST_F(EventLog, CategoriesAndSources) {
    const struct {
        ZAVMsgCategory category;
        const WCHAR* source;
        const char *priority, *identifier;
    } cases[] = {{ZAVCatInfo6, nullptr, "6", "ZAVMsg"},
                 {ZAVCatInfo30, ZAV_TEXT(""), "6", "ZAVMsg"},
                 {static_cast<ZAVMsgCategory>(40), ZAV_TEXT("MyAgent"), "3", "MyAgent"},
                 {ZAVCatError90, ZAV_TEXT("MyAgent"), "3", "MyAgent"}};
    for (const auto& c : cases) {
        ZAV_LogEvent(c.category, ZAV_TEXT("text \u00e9"), 99, c.source);
        log_.ExpectNext("text \xc3\xa9", c.priority, c.identifier);
    }
    EXPECT_EQ(g_LogEntriesCount, 4);
}

TEST_F(EventLog, NothingToFormatMeansNothingCounted) {
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT(""), 1, nullptr);
    ZAV_LogEvent(ZAVCatInfo10, nullptr, 1, nullptr);  // no message tables
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

TEST_F(EventLog, ZeroWindowStartsANewOneInsteadOfEnding) {
    g_LogEntriesMax = 2;
    g_LogMsgCancelTime = 0;
    for (int i = 1; i <= 3; ++i) ZAV_LogEvent(ZAVCatInfo10, (ZAV_TEXT("entry ") + WString(1, ZAV_TEXT('0') + i)).c_str(), 1, nullptr);
    for (const char* message : {"entry 1", "entry 2", "entry 3"}) log_.ExpectNext(message);
    EXPECT_EQ(g_LogEntriesCount, 1);
}

TEST_F(EventLog, FloodLimitEndsTheProcessWith112) {
#ifdef _WIN32
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#else
    GTEST_FLAG_SET(death_test_style, "fast");  // the child must send to this test's socket
#endif
    g_LogEntriesMax = 2;
    EXPECT_EXIT(
        {
            for (int i = 0; i < 2; ++i) ZAV_LogEvent(ZAVCatError70, ZAV_TEXT("flood"), 1, nullptr);
            if (g_LogEntriesCount != 2) std::_Exit(1);
            ZAV_LogEvent(ZAVCatError70, ZAV_TEXT("flood"), 1, nullptr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(112), "");
#ifndef _WIN32
    for (const char* message : {"flood", "flood", "**** Process terminated due to too many error messages. ****"})
        log_.ExpectNext(message);
    EXPECT_TRUE(log_.Empty());
#endif
}

#ifndef _WIN32
// A log that stops reading loses entries, and a lost entry counts as one
// whose ReportEventW failed.
TEST_F(EventLog, EntriesTheLogCannotTakeStillCount) {
    int calls = 0, lost = 0;
    while (lost < 2 && calls < 5000) {
        ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("unread"), 1, nullptr);
        ++calls;
        BOOL taken = FALSE;
        EXPECT_EQ(ZAVPlatform_LastEventReport(nullptr, 0, &taken), ZAVEventOutletJournal);
        lost += taken ? 0 : 1;
    }
    EXPECT_EQ(lost, 2) << "the log's queue never filled";
    EXPECT_EQ(g_LogEntriesCount, calls);
}

TEST(TextEventLog, LinesBesideTheProgramOutsideTheNtFamily) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string program(exe, n > 0 ? static_cast<size_t>(n) : 0);
    const std::string file = program.substr(0, program.rfind('/')) + "/EventLog.txt";
    unlink(file.c_str());
    // A fresh process: the platform family is read once per process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
            ZAVLinkAnchor list = {};
            ZAVMsg* msg = ZAV_MsgCreate(&list, 5, ZAVCatError70, 0, 0, 0, 0, nullptr);
            ZAV_MsgAddInsertion(msg, ZAV_TEXT("abc"));
            ZAV_LogEvent(*msg, ZAV_TEXT("wide %1!S!"), nullptr);
            ZAV_LogEvent(*msg, ZAV_TEXT("narrow %1"), nullptr);  // !s! is narrow in the ANSI form
            // While another opening holds the log for writing, an entry is lost and not counted.
            HANDLE holder = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
            ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("refused"), 1, nullptr);
            CloseHandle(holder);
            _exit(g_LogEntriesCount == 2 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    const std::string text = ReadFile(file);
    const std::regex stamp("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} ");
    ASSERT_EQ(text.size(), 2 * 25 + std::string("wide abc\r\nnarrow a\r\n").size()) << text;
    EXPECT_TRUE(std::regex_match(text.substr(0, 25), stamp)) << text;
    EXPECT_EQ(text.substr(25, 10), "wide abc\r\n");
    EXPECT_TRUE(std::regex_match(text.substr(35, 25), stamp)) << text;
    EXPECT_EQ(text.substr(60), "narrow a\r\n");
    unlink(file.c_str());
}
#endif

}  // namespace
