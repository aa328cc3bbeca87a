// The event log's outlets on POSIX: the journal's native protocol, the
// syslog line, the text log when no daemon listens, and the bounded wait
// when a daemon stops reading.
#include <chrono>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "LogReceiver.h"
#include "ZAVEventOutlet.h"
#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

using zavtest::DecodeJournal;
using zavtest::ParseSyslogLine;

// One source registered, one report made with the strings, the source gone;
// answers the result, and the last error in *error.
BOOL Report(const char16_t* source, WORD type, std::vector<std::u16string> strings, DWORD* error = nullptr) {
    HANDLE events = RegisterEventSourceW(nullptr, source);
    std::vector<LPCWSTR> pointers;
    for (const std::u16string& s : strings) pointers.push_back(s.c_str());
    const BOOL result = events != nullptr && ReportEventW(events, type, 0, 4711, nullptr, WORD(pointers.size()), 0,
                                                          pointers.data(), nullptr);
    if (error != nullptr) *error = GetLastError();
    DeregisterEventSource(events);
    return result;
}

class EventLogOutlets : public ::testing::Test {
protected:
    void TearDown() override { ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr); }
    zavtest::LogReceiver daemon_;
};

TEST_F(EventLogOutlets, JournalEntriesCarryTheFieldsAndMultiLineValues) {
    ZAVPlatformTest_SetEventLogSockets(daemon_.path().c_str(), "");
    // The name keeps blanks and delimiters: the journal carries anything. A
    // lone surrogate cannot be UTF-8: it alone is replaced.
    const struct {
        WORD type;
        const char16_t* source;
        const char *priority, *identifier;
    } cases[] = {{EVENTLOG_WARNING_TYPE, u"Z\u00e4hler: [Dienst]", "4", "Z\xc3\xa4hler: [Dienst]"},
                 {EVENTLOG_ERROR_TYPE, u"a\xd800z", "3", "a\xef\xbf\xbdz"},
                 {EVENTLOG_INFORMATION_TYPE, u"i", "6", "i"},
                 {EVENTLOG_AUDIT_SUCCESS, u"s", "5", "s"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(Report(c.source, c.type, {u"line one\nline=two", u"\u65e5\u672c"}));
        const zavtest::LogReceiver::Datagram d = daemon_.Next();
        EXPECT_EQ(d.descriptors, 0);
        std::vector<zavtest::JournalFields> entries = DecodeJournal(d.payload);
        ASSERT_EQ(entries.size(), 1u) << d.payload;
        EXPECT_EQ(entries[0], (zavtest::JournalFields{{"MESSAGE", "line one\nline=two \xe6\x97\xa5\xe6\x9c\xac"},
                                                      {"PRIORITY", c.priority},
                                                      {"SYSLOG_FACILITY", "1"},
                                                      {"SYSLOG_IDENTIFIER", c.identifier},
                                                      {"SYSLOG_PID", std::to_string(getpid())},
                                                      {"EVENT_ID", "4711"}}));
        // A value with a newline goes length-counted; single-line ones stay readable.
        EXPECT_NE(d.payload.find("MESSAGE\n"), std::string::npos);
        EXPECT_NE(d.payload.find("EVENT_ID=4711\n"), std::string::npos);
    }
    char where[256];
    BOOL taken = FALSE;
    EXPECT_EQ(ZAVPlatform_LastEventReport(where, sizeof where, &taken), ZAVEventOutletJournal);
    EXPECT_EQ(where, daemon_.path());
    EXPECT_TRUE(taken);
}

TEST_F(EventLogOutlets, AJournalEntryTooLargeForADatagramTravelsInASealedMemoryFile) {
    ZAVPlatformTest_SetEventLogSockets(daemon_.path().c_str(), "");
    std::u16string text;
    std::string expected;
    for (int i = 0; i < 40000; ++i, expected += "\xc3\xa9ntry\n") text += u"\u00e9ntry\n";  // 320 000 bytes
    ASSERT_TRUE(Report(u"Big", EVENTLOG_INFORMATION_TYPE, {text}));
    const zavtest::LogReceiver::Datagram d = daemon_.Next();
    EXPECT_EQ(d.payload, "") << "the entry travels in the file alone";
    ASSERT_EQ(d.descriptors, 1);
    const int allSeals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    EXPECT_EQ(d.seals & allSeals, allSeals);
    const std::vector<zavtest::JournalFields> entries = DecodeJournal(d.attachment);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].at("MESSAGE") == expected);
    EXPECT_EQ(entries[0].at("SYSLOG_IDENTIFIER"), "Big");
}

TEST_F(EventLogOutlets, SyslogLinesInTheTraditionalFormatCutToTheSocketsSize) {
    ZAVPlatformTest_SetEventLogSocket(daemon_.path().c_str());
    // Only what the line cannot carry is replaced: blanks and the delimiters.
    const struct {
        WORD type;
        int priority;  // user facility
    } cases[] = {{EVENTLOG_ERROR_TYPE, 8 + 3}, {EVENTLOG_WARNING_TYPE, 8 + 4}, {EVENTLOG_INFORMATION_TYPE, 8 + 6}};
    for (const auto& c : cases) {
        ASSERT_TRUE(Report(u"My Agent:\u00e9[1]", c.type, {u"disk", u"f\u00fcll"}));
        const zavtest::SyslogLine s = ParseSyslogLine(daemon_.Next().payload);
        EXPECT_EQ(s.priority, c.priority);
        EXPECT_EQ(s.identifier, "My_Agent_\xc3\xa9_1_");
        EXPECT_EQ(s.pid, std::to_string(getpid()));
        EXPECT_EQ(s.message, "disk f\xc3\xbcll");
        // The day of the month is padded with a blank, as syslog(3) does.
        const time_t now = time(nullptr);
        struct tm local;
        localtime_r(&now, &local);
        EXPECT_EQ(s.stamp.substr(4, 1), local.tm_mday < 10 ? " " : std::to_string(local.tm_mday / 10)) << s.stamp;
    }
    EXPECT_EQ(ZAVPlatform_LastEventReport(nullptr, 0, nullptr), ZAVEventOutletSyslog);
    // Too large for the socket, a line is cut on a character boundary, not dropped.
    DWORD error = 0;
    EXPECT_TRUE(Report(u"Big", EVENTLOG_INFORMATION_TYPE, {std::u16string(100000, u'\u20ac')}, &error)) << error;
    const std::string message = ParseSyslogLine(daemon_.Next().payload).message;
    EXPECT_GT(message.size(), 1000u);
    EXPECT_LT(message.size(), 300000u);
    std::string euros;
    while (euros.size() < message.size()) euros += "\xe2\x82\xac";
    EXPECT_TRUE(message == euros);
}

TEST_F(EventLogOutlets, WithNoDaemonListeningReportsGoToTheTextLogBesideTheProgram) {
    // A socket file nobody listens at any more counts as no daemon.
    const std::string stale = daemon_.path() + "-stale";
    ASSERT_EQ(close(zavtest::UnixDatagramSocket(stale, true)), 0);
    ZAVPlatformTest_SetEventLogSockets(stale.c_str(), (daemon_.path() + "-missing").c_str());
    char where[4096], program[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", program, sizeof program - 1), 0);
    const std::string file = std::string(program).substr(0, std::string(program).rfind('/')) + "/EventLog.txt";
    const std::string marker = "text log entry " + std::to_string(getpid()) + " " + std::to_string(time(nullptr));
    unlink(file.c_str());  // created, then appended to
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(Report(u"Agent", EVENTLOG_ERROR_TYPE, {std::u16string(marker.begin(), marker.end()), u"\u00e9"}));
    BOOL taken = FALSE;
    EXPECT_EQ(ZAVPlatform_LastEventReport(where, sizeof where, &taken), ZAVEventOutletTextLog);
    EXPECT_TRUE(taken);
    EXPECT_EQ(where, file);
    // Twice ctime's 24 characters, a blank, the strings joined by a blank, CR
    // LF; in the C locale each character is the byte of its value.
    const std::string text = ReadFile(file);
    const std::regex stamp("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} ");
    EXPECT_TRUE(std::regex_match(text.substr(0, 25), stamp)) << text;
    EXPECT_EQ(text.size(), 2 * (25 + marker.size() + 4)) << text;
    const size_t at = text.find(marker);
    ASSERT_EQ(at, 25u) << text;
    EXPECT_EQ(text.substr(at + marker.size(), 4), " \xe9\r\n");
}

// A daemon that stopped reading costs one bounded wait, not one per entry:
// once a report has timed out, the next ones to that daemon are given up at
// once, until it reads again. Per entry, many reports would hold the host
// for minutes (a trace that reports lost lines looked hung).
TEST_F(EventLogOutlets, AStalledReceiverIsWaitedOnOnceUpToTheBound) {
    using std::chrono::milliseconds;
    using std::chrono::steady_clock;
    const std::u16string text(2000, u'x');
    for (bool journal : {true, false}) {
        SCOPED_TRACE(journal ? "journal" : "syslog");
        ZAVPlatformTest_SetEventLogSockets(journal ? daemon_.path().c_str() : "", daemon_.path().c_str());
        int i = 0;
        while (i < 5000 && Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, {text})) ++i;
        ASSERT_LT(i, 5000) << "the queue never filled";
        // The first report was waited on (that one failed above); fifty more
        // at 100 ms each would take five seconds.
        const auto start = steady_clock::now();
        for (int k = 0; k < 50; ++k) {
            DWORD error = 0;
            EXPECT_FALSE(Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, {text}, &error));
            EXPECT_EQ(error, 1460u) << "ERROR_TIMEOUT";
        }
        EXPECT_LT(steady_clock::now() - start, milliseconds(2500)) << "each report waited out the bound again";
        BOOL taken = TRUE;
        ZAVPlatform_LastEventReport(nullptr, 0, &taken);
        EXPECT_FALSE(taken);
        // Reading again, the daemon takes reports again; a full queue is
        // waited on for the bound, and not far past it.
        daemon_.Drain();
        EXPECT_TRUE(Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, {u"again"}));
        const auto waited = steady_clock::now();
        while (Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, {text})) {
        }
        const auto took = steady_clock::now() - waited;
        EXPECT_GE(took, milliseconds(100));
        EXPECT_LT(took, milliseconds(100 + 900)) << "a hang; the slack absorbs a loaded machine";
        daemon_.Drain();
    }
}

}  // namespace
