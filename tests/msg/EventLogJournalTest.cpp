// What the stand-in's event log hands the journal and its text log.
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZAVEventOutlet.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"
#include "TestEventLog.h"
#include "WString.h"

namespace {

struct Entry {
    std::string priority, identifier, pid, eventId, message;
};

Entry Parse(const zavtest::LogReceiver::Datagram& datagram) {
    const zavtest::JournalFields fields = zavtest::DecodeJournalEntry(datagram.payload);
    using zavtest::Field;
    return {Field(fields, "PRIORITY"), Field(fields, "SYSLOG_IDENTIFIER"), Field(fields, "SYSLOG_PID"),
            Field(fields, "EVENT_ID"), Field(fields, "MESSAGE")};
}

using EventLogTest = EventLogFixture;

TEST_F(EventLogTest, InsertionsFillTheTemplateAndTheEventIdIsOne) {
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 777, ZAVCatWarning50, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("first"));
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("second"));
    ZAV_LogEvent(*msg, ZAV_TEXT("%2 after %1"), nullptr);
    const Entry e = Parse(log_.Next());
    EXPECT_EQ(e.priority, "4");  // warning
    EXPECT_EQ(e.identifier, "ZAVMsg");
    EXPECT_EQ(e.pid, std::to_string(getpid()));
    EXPECT_EQ(e.eventId, "1");
    EXPECT_EQ(e.message, "second after first");
    EXPECT_EQ(g_LogEntriesCount, 1);
    EXPECT_EQ(msg->InsertionBytes, 28u);  // the record is only read
}

TEST_F(EventLogTest, CategoriesAndSources) {
    struct Case {
        ZAVMsgCategory category;
        const char16_t* source;
        const char *priority, *identifier;
    };
    const Case cases[] = {{ZAVCatInfo6, nullptr, "6", "ZAVMsg"},
                          {ZAVCatInfo30, ZAV_TEXT(""), "6", "ZAVMsg"},
                          {static_cast<ZAVMsgCategory>(40), ZAV_TEXT("MyAgent"), "3", "MyAgent"},
                          {ZAVCatError90, ZAV_TEXT("MyAgent"), "3", "MyAgent"}};
    for (const Case& c : cases) {
        ZAV_LogEvent(c.category, ZAV_TEXT("text \u00e9"), 99, c.source);
        const Entry e = Parse(log_.Next());
        EXPECT_EQ(e.priority, c.priority);
        EXPECT_EQ(e.identifier, c.identifier);
        EXPECT_EQ(e.message, "text \xc3\xa9");
    }
    EXPECT_EQ(g_LogEntriesCount, 4);
}

TEST_F(EventLogTest, NothingToFormatOrNoSourceMeansNothingCounted) {
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT(""), 1, nullptr);
    ZAV_LogEvent(ZAVCatInfo10, nullptr, 1, nullptr);  // no message tables
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("%1"), 1, nullptr);   // an insert without insertions
    ZAVPlatformTest_FailRegisterEventSource(TRUE);
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("lost"), 1, nullptr);
    ZAVPlatformTest_FailRegisterEventSource(FALSE);
    EXPECT_EQ(g_LogEntriesCount, 0);
    EXPECT_TRUE(log_.Empty());

    // A first insertion that is empty leaves only nulls in the argument array.
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 1, ZAVCatInfo10, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, ZAV_TEXT(""));
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("unseen"));
    ZAV_LogEvent(*msg, ZAV_TEXT("[%1]"), nullptr);
    EXPECT_EQ(Parse(log_.Next()).message, "[(null)]");
}

// A log that stops reading loses entries, and a lost entry counts as one
// whose ReportEventW failed.
TEST_F(EventLogTest, EntriesTheLogCannotTakeStillCount) {
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

TEST_F(EventLogTest, ZeroWindowStartsANewOneInsteadOfEnding) {
    g_LogEntriesMax = 2;
    g_LogMsgCancelTime = 0;
    for (int i = 1; i <= 3; ++i) ZAV_LogEvent(ZAVCatInfo10, (ZAV_TEXT("entry ") + WString(1, u'0' + i)).c_str(), 1, nullptr);
    EXPECT_EQ(Parse(log_.Next()).message, "entry 1");
    EXPECT_EQ(Parse(log_.Next()).message, "entry 2");
    EXPECT_EQ(Parse(log_.Next()).message, "entry 3");
    EXPECT_EQ(g_LogEntriesCount, 1);
}

TEST_F(EventLogTest, FloodLimitEndsTheProcessWith112) {
    GTEST_FLAG_SET(death_test_style, "fast");  // the child must send to this test's socket
    g_LogEntriesMax = 2;
    EXPECT_EXIT(
        {
            for (int i = 0; i < 3; ++i) ZAV_LogEvent(ZAVCatError70, ZAV_TEXT("flood"), 1, nullptr);
            _exit(0);
        },
        ::testing::ExitedWithCode(112), "");
    EXPECT_EQ(Parse(log_.Next()).message, "flood");
    EXPECT_EQ(Parse(log_.Next()).message, "flood");
    EXPECT_EQ(Parse(log_.Next()).message, "**** Process terminated due to too many error messages. ****");
    EXPECT_TRUE(log_.Empty());
}

// The program's folder, as the text log finds it from the command line.
std::string ProgramFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string program(path, n > 0 ? static_cast<size_t>(n) : 0);
    return program.substr(0, program.rfind('/'));
}

TEST(TextEventLog, LinesBesideTheProgramOutsideTheNtFamily) {
    const std::string file = ProgramFolder() + "/EventLog.txt";
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
            HANDLE holder = CreateFileA(file.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
            ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("refused"), 1, nullptr);
            CloseHandle(holder);
            _exit(g_LogEntriesCount == 2 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::regex line("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} ");
    ASSERT_EQ(text.size(), 2 * 25 + std::string("wide abc\r\nnarrow a\r\n").size()) << text;
    EXPECT_TRUE(std::regex_match(text.substr(0, 25), line)) << text;
    EXPECT_EQ(text.substr(25, 10), "wide abc\r\n");
    EXPECT_TRUE(std::regex_match(text.substr(35, 25), line)) << text;
    EXPECT_EQ(text.substr(60), "narrow a\r\n");
    unlink(file.c_str());
}

}  // namespace
