// The event log's syslog outlet on POSIX against a socket of the test's own
// (the daemons/ test runs rsyslogd and journald): the cut of a syslog
// line, and the bounded wait when a daemon stops reading.
#include <chrono>
#include <regex>
#include <vector>

#include <gtest/gtest.h>

#include "LogReceiver.h"
#include "ZAVEventOutlet.h"
#include "ZAVPlatform.h"
#include "ZAVPlatformTest.h"

namespace {

using zavtest::Report;

class EventLogOutlets : public ::testing::Test {
protected:
    void TearDown() override { ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr); }
    zavtest::LogReceiver daemon_;
};

// A line too large for the socket is cut on a character boundary, not
// dropped, behind syslog(3)'s header "<PRI>Mmm dd hh:mm:ss IDENT[PID]: ",
// the day of the month padded with a blank.
TEST_F(EventLogOutlets, ASyslogLineTooLargeForTheSocketIsCutNotDropped) {
    ZAVPlatformTest_SetEventLogSocket(daemon_.path().c_str());
    DWORD error = 0;
    EXPECT_TRUE(Report(u"Big", EVENTLOG_INFORMATION_TYPE, 1, {std::u16string(100000, u'\u20ac')}, &error)) << error;
    const std::string line = daemon_.Next().payload;
    const size_t end = line.find("]: ") + 3;
    const std::regex header("<[0-9]+>(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] "
                            "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] Big\\[" + std::to_string(getpid()) + "\\]: ");
    EXPECT_TRUE(std::regex_match(line.substr(0, end), header)) << line.substr(0, 40);
    EXPECT_GT(line.size() - end, 1000u);
    EXPECT_EQ(std::regex_replace(line.substr(end), std::regex("\xe2\x82\xac"), ""), "") << "a character cut";
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
        while (i < 5000 && Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, 1, {text})) ++i;
        ASSERT_LT(i, 5000) << "the queue never filled";
        // The first report was waited on (that one failed above); fifty more
        // at 100 ms each would take five seconds.
        const auto start = steady_clock::now();
        for (int k = 0; k < 50; ++k) {
            DWORD error = 0;
            EXPECT_FALSE(Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, 1, {text}, &error));
            EXPECT_EQ(error, 1460u) << "ERROR_TIMEOUT";
        }
        EXPECT_LT(steady_clock::now() - start, milliseconds(2500)) << "each report waited out the bound again";
        BOOL taken = TRUE;
        ZAVPlatform_LastEventReport(nullptr, 0, &taken);
        EXPECT_FALSE(taken);
        // Reading again, the daemon takes reports again; a full queue is
        // waited on for the bound, and not far past it.
        daemon_.Drain();
        EXPECT_TRUE(Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, 1, {u"again"}));
        const auto waited = steady_clock::now();
        while (Report(u"Stalled", EVENTLOG_INFORMATION_TYPE, 1, {text})) {
        }
        const auto took = steady_clock::now() - waited;
        EXPECT_GE(took, milliseconds(100));
        EXPECT_LT(took, milliseconds(100 + 900)) << "a hang; the slack absorbs a loaded machine";
        daemon_.Drain();
    }
}

}  // namespace
