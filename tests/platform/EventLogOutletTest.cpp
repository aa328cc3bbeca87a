// The event log's outlets on POSIX against a socket of the test's own: what
// a real daemon cannot show (the daemons/ tests run rsyslogd and journald),
// the text log when no daemon listens, and the bounded wait when a daemon
// stops reading.
#include <chrono>
#include <regex>
#include <vector>

#include <gtest/gtest.h>

#include "LogReceiver.h"
#include "ZAVEventOutlet.h"
#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

BOOL Report(const char16_t* source, WORD type, std::vector<std::u16string> strings, DWORD* error = nullptr) {
    return zavtest::Report(source, type, 1, strings, error);
}

class EventLogOutlets : public ::testing::Test {
protected:
    void TearDown() override { ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr); }
    zavtest::LogReceiver daemon_;
};

// A line too large for the socket is cut on a character boundary, not
// dropped; the day of the month is padded with a blank, as syslog(3) does.
TEST_F(EventLogOutlets, ASyslogLineTooLargeForTheSocketIsCutNotDropped) {
    ZAVPlatformTest_SetEventLogSocket(daemon_.path().c_str());
    DWORD error = 0;
    EXPECT_TRUE(Report(u"Big", EVENTLOG_INFORMATION_TYPE, {std::u16string(100000, u'\u20ac')}, &error)) << error;
    const zavtest::SyslogLine line = zavtest::ParseSyslogLine(daemon_.Next().payload);
    const time_t now = time(nullptr);
    char day[8];
    strftime(day, sizeof day, "%e", localtime(&now));
    EXPECT_EQ(line.stamp.substr(4, 2), day);
    EXPECT_EQ(line.priority, 8 + 6) << "user facility, information";
    EXPECT_EQ(line.identifier + "[" + line.pid, "Big[" + std::to_string(getpid()));
    const std::string& message = line.message;
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
