// The event log's outlets on POSIX: the journal's native protocol, the
// syslog line, the text log when no daemon listens, and the bounded wait
// when a daemon stops reading.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LogReceiver.h"
#include "ZAVEventOutlet.h"
#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

using zavtest::DecodeJournalEntry;
using zavtest::Field;
using zavtest::LogReceiver;

struct Reported {
    BOOL result;
    DWORD error;
};

// One source registered, one report made with the strings, the source gone.
Reported Report(const char16_t* source, WORD type, DWORD eventId, std::vector<std::u16string> strings) {
    HANDLE events = RegisterEventSourceW(nullptr, source);
    if (events == nullptr) return {FALSE, GetLastError()};
    std::vector<LPCWSTR> pointers;
    for (const std::u16string& s : strings) pointers.push_back(s.c_str());
    SetLastError(0);
    const BOOL result = ReportEventW(events, type, 0, eventId, nullptr, static_cast<WORD>(pointers.size()), 0,
                                     pointers.data(), nullptr);
    const DWORD error = GetLastError();
    DeregisterEventSource(events);
    return {result, error};
}

class EventLogOutlets : public ::testing::Test {
protected:
    void TearDown() override { ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr); }
    LogReceiver daemon_;
};

TEST_F(EventLogOutlets, JournalEntriesCarryTheFieldsAndMultiLineValues) {
    ASSERT_TRUE(daemon_.bound());
    ZAVPlatformTest_SetEventLogSockets(daemon_.path().c_str(), "");
    // The name keeps its text, blanks and delimiters included: the journal carries anything.
    ASSERT_TRUE(Report(u"Z\u00e4hler: [Dienst]", EVENTLOG_WARNING_TYPE, 4711, {u"line one\nline=two", u"\u65e5\u672c"}).result);
    const LogReceiver::Datagram d = daemon_.Next();
    ASSERT_TRUE(d.arrived);
    EXPECT_EQ(d.descriptors, 0);
    bool ok = false;
    size_t end = 0;
    const zavtest::JournalFields fields = DecodeJournalEntry(d.payload, 0, &end, &ok);
    ASSERT_TRUE(ok) << d.payload;
    EXPECT_EQ(end, d.payload.size());
    EXPECT_EQ(Field(fields, "MESSAGE"), "line one\nline=two \xe6\x97\xa5\xe6\x9c\xac");
    EXPECT_NE(d.payload.find("MESSAGE\n"), std::string::npos) << "a value with a newline goes length-counted";
    EXPECT_EQ(Field(fields, "PRIORITY"), "4");
    EXPECT_EQ(Field(fields, "SYSLOG_FACILITY"), "1");
    EXPECT_EQ(Field(fields, "SYSLOG_IDENTIFIER"), "Z\xc3\xa4hler: [Dienst]");
    EXPECT_EQ(Field(fields, "SYSLOG_PID"), std::to_string(getpid()));
    EXPECT_EQ(Field(fields, "EVENT_ID"), "4711");
    EXPECT_NE(d.payload.find("EVENT_ID=4711\n"), std::string::npos) << "single-line values stay readable";

    // A lone surrogate cannot be UTF-8: it alone is replaced.
    const struct {
        WORD type;
        const char* priority;
    } types[] = {{EVENTLOG_ERROR_TYPE, "3"}, {EVENTLOG_INFORMATION_TYPE, "6"}, {EVENTLOG_AUDIT_SUCCESS, "5"}};
    for (const auto& t : types) {
        ASSERT_TRUE(Report(u"a\xd800z", t.type, 1, {u"x"}).result);
        const zavtest::JournalFields f = DecodeJournalEntry(daemon_.Next().payload);
        EXPECT_EQ(Field(f, "PRIORITY"), t.priority);
        EXPECT_EQ(Field(f, "SYSLOG_IDENTIFIER"), "a\xef\xbf\xbdz");
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
    for (int i = 0; i < 40000; ++i) text += u"\u00e9ntry\n";  // 280 000 units, 320 000 bytes of UTF-8
    ASSERT_TRUE(Report(u"Big", EVENTLOG_INFORMATION_TYPE, 2, {text}).result);
    const LogReceiver::Datagram d = daemon_.Next();
    ASSERT_TRUE(d.arrived);
    EXPECT_TRUE(d.payload.empty()) << "the payload travels in the file alone";
    ASSERT_EQ(d.descriptors, 1);
    const int allSeals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    EXPECT_EQ(d.seals & allSeals, allSeals);
    bool ok = false;
    const zavtest::JournalFields fields = DecodeJournalEntry(d.attachment, 0, nullptr, &ok);
    ASSERT_TRUE(ok);
    std::string expected;
    for (int i = 0; i < 40000; ++i) expected += "\xc3\xa9ntry\n";
    EXPECT_EQ(Field(fields, "MESSAGE"), expected);
    EXPECT_EQ(Field(fields, "SYSLOG_IDENTIFIER"), "Big");
}

TEST_F(EventLogOutlets, SyslogLinesInTheTraditionalFormat) {
    ZAVPlatformTest_SetEventLogSocket(daemon_.path().c_str());
    ASSERT_TRUE(Report(u"My Agent:\u00e9[1]", EVENTLOG_ERROR_TYPE, 9, {u"disk", u"f\u00fcll"}).result);
    const std::string line = daemon_.Next().payload;
    const zavtest::SyslogLine s = zavtest::ParseSyslogLine(line);
    ASSERT_TRUE(s.parsed) << line;
    EXPECT_EQ(s.priority, 8 + 3);  // user facility, error
    // Only what the line cannot carry is replaced: blanks and the delimiters.
    EXPECT_EQ(s.identifier, "My_Agent_\xc3\xa9_1_");
    EXPECT_EQ(s.pid, std::to_string(getpid()));
    EXPECT_EQ(s.message, "disk f\xc3\xbcll");
    // The day of the month is padded with a blank, as syslog(3) does.
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    EXPECT_EQ(s.stamp[4], local.tm_mday < 10 ? ' ' : static_cast<char>('0' + local.tm_mday / 10)) << s.stamp;

    ASSERT_TRUE(Report(u"w", EVENTLOG_WARNING_TYPE, 1, {u"x"}).result);
    EXPECT_EQ(zavtest::ParseSyslogLine(daemon_.Next().payload).priority, 8 + 4);
    ASSERT_TRUE(Report(u"i", EVENTLOG_INFORMATION_TYPE, 1, {u"x"}).result);
    EXPECT_EQ(zavtest::ParseSyslogLine(daemon_.Next().payload).priority, 8 + 6);
    EXPECT_EQ(ZAVPlatform_LastEventReport(nullptr, 0, nullptr), ZAVEventOutletSyslog);
}

TEST_F(EventLogOutlets, ASyslogLineTooLargeForTheSocketIsCutNotDropped) {
    ZAVPlatformTest_SetEventLogSocket(daemon_.path().c_str());
    std::u16string text;
    for (int i = 0; i < 100000; ++i) text += u"\u20ac";  // 300 000 bytes of UTF-8
    const Reported r = Report(u"Big", EVENTLOG_INFORMATION_TYPE, 1, {text});
    EXPECT_TRUE(r.result) << r.error;
    const std::string line = daemon_.Next().payload;
    const zavtest::SyslogLine s = zavtest::ParseSyslogLine(line);
    ASSERT_TRUE(s.parsed) << line.substr(0, 80);
    EXPECT_GT(s.message.size(), 1000u);
    EXPECT_LT(s.message.size(), 300000u);
    EXPECT_EQ(s.message.size() % 3, 0u) << "cut on a character boundary";
    for (size_t i = 0; i < s.message.size(); i += 3) ASSERT_EQ(s.message.compare(i, 3, "\xe2\x82\xac"), 0) << i;
}

// The program's folder, where the text log goes.
std::string ProgramFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string program(path, n > 0 ? static_cast<size_t>(n) : 0);
    return program.substr(0, program.rfind('/'));
}

TEST_F(EventLogOutlets, WithNoDaemonListeningReportsGoToTheTextLogBesideTheProgram) {
    // A socket file nobody listens at any more counts as no daemon.
    const std::string stale = daemon_.path() + "-stale";
    const int fd = zavtest::UnixDatagramSocket(stale, true);
    ASSERT_GE(fd, 0);
    close(fd);
    ZAVPlatformTest_SetEventLogSockets(stale.c_str(), (daemon_.path() + "-missing").c_str());
    const std::string marker = "text log entry " + std::to_string(getpid()) + " " + std::to_string(time(nullptr));
    const std::u16string wide(marker.begin(), marker.end());
    EXPECT_TRUE(Report(u"Agent", EVENTLOG_ERROR_TYPE, 1, {wide, u"\u00e9"}).result);
    unlink(stale.c_str());

    char where[4096];
    BOOL taken = FALSE;
    EXPECT_EQ(ZAVPlatform_LastEventReport(where, sizeof where, &taken), ZAVEventOutletTextLog);
    EXPECT_TRUE(taken);
    const std::string file = ProgramFolder() + "/EventLog.txt";
    EXPECT_EQ(where, file);
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = text.find(marker);
    ASSERT_NE(at, std::string::npos) << file;
    ASSERT_GE(at, 25u);
    // ctime's 24 characters, a blank, the strings joined by a blank, CR LF; in
    // the C locale each character is the byte of its value.
    const std::regex stamp("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} ");
    EXPECT_TRUE(std::regex_match(text.substr(at - 25, 25), stamp)) << text.substr(at - 25, 25);
    EXPECT_TRUE(at == 25 || text[at - 26] == '\n');
    EXPECT_EQ(text.substr(at + marker.size(), 4), " \xe9\r\n");
}

TEST_F(EventLogOutlets, AReceiverThatNeverReadsCannotHoldAReportPastTheBound) {
    using std::chrono::milliseconds;
    using std::chrono::steady_clock;
    const milliseconds bound(100);
    for (bool journal : {true, false}) {
        SCOPED_TRACE(journal ? "journal" : "syslog");
        ZAVPlatformTest_SetEventLogSockets(journal ? daemon_.path().c_str() : "", daemon_.path().c_str());
        const std::u16string text(2000, u'x');
        int lost = 0;
        for (int i = 0; i < 5000 && lost < 3; ++i) {
            const auto start = steady_clock::now();
            const Reported r = Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, 1, {text});
            const auto took = steady_clock::now() - start;
            // A hang would show as far more; the slack absorbs a loaded machine.
            EXPECT_LT(took, bound + milliseconds(900)) << "report " << i;
            if (r.result) continue;
            ++lost;
            EXPECT_EQ(r.error, 1460u) << "ERROR_TIMEOUT";
            if (lost == 1) {
                EXPECT_GE(took, bound) << "a full queue is waited on before the entry is given up";
            }
        }
        EXPECT_EQ(lost, 3) << "the queue never filled";
        BOOL taken = TRUE;
        ZAVPlatform_LastEventReport(nullptr, 0, &taken);
        EXPECT_FALSE(taken);
        // Once the daemon reads again, reports go through.
        daemon_.Drain();
        EXPECT_TRUE(Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, 1, {u"again"}).result);
        daemon_.Drain();
    }
}

// A daemon that stopped reading costs one bounded wait, not one per entry:
// once a report has timed out, the next ones to that daemon are given up at
// once, until it reads again. Per entry, many reports would hold the host
// for minutes (a trace that reports lost lines looked hung).
TEST_F(EventLogOutlets, AStalledReceiverIsWaitedOnOnceNotForEveryReport) {
    using std::chrono::milliseconds;
    using std::chrono::steady_clock;
    ZAVPlatformTest_SetEventLogSockets("", daemon_.path().c_str());
    const std::u16string text(2000, u'x');
    int i = 0;
    while (i < 5000 && Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, 1, {text}).result) ++i;
    ASSERT_LT(i, 5000) << "the queue never filled";
    // Fifty reports at 100 ms each would take five seconds.
    const auto start = steady_clock::now();
    for (int k = 0; k < 50; ++k) {
        const Reported r = Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, 1, {text});
        EXPECT_FALSE(r.result);
        EXPECT_EQ(r.error, 1460u) << "ERROR_TIMEOUT";
    }
    EXPECT_LT(steady_clock::now() - start, milliseconds(2500)) << "each report waited out the bound again";
    // Reading again, the daemon takes reports again.
    daemon_.Drain();
    EXPECT_TRUE(Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, 1, {u"again"}).result);
    daemon_.Drain();
}

}  // namespace
