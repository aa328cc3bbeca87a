// Where the event-log tests' entries go: on POSIX a datagram socket of the
// test standing in for the journal (nothing reaches the machine's log); on
// Windows the system's event log.
#pragma once

#include <gtest/gtest.h>

#include "ZAVUtil1.h"

#include <string>

#ifdef _WIN32
// The system's log is not read back.
class TestEventLog {
public:
    void ExpectNext(const std::string&, const char* = nullptr, const char* = nullptr) {}
};
#else
#include "ZAVPlatformTest.h"
#include "platform/LogReceiver.h"

class TestEventLog : public zavtest::LogReceiver {
public:
    TestEventLog() { ZAVPlatformTest_SetEventLogSockets(path().c_str(), ""); }
    ~TestEventLog() { ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr); }
    // The next entry has this message (and priority and identifier, if given).
    void ExpectNext(const std::string& message, const char* priority = nullptr, const char* identifier = nullptr) {
        const zavtest::JournalFields fields = zavtest::DecodeJournalEntry(Next().payload);
        EXPECT_EQ(zavtest::Field(fields, "MESSAGE"), message);
        if (priority != nullptr) {
            EXPECT_EQ(zavtest::Field(fields, "PRIORITY"), priority);
        }
        if (identifier != nullptr) {
            EXPECT_EQ(zavtest::Field(fields, "SYSLOG_IDENTIFIER"), identifier);
        }
    }
};
#endif

// The flood limit's variables as a host finds them at load.
inline void ResetEventLogLimit() {
    g_LogEntriesCount = 0;
    g_LogEntriesMax = 500;
    g_LogMsgCancelTime = 14400;
    g_FirstLogMsgTime = 0;
}

// The limit as a host finds it, a list for the test's records, and the log.
class EventLogFixture : public ::testing::Test {
protected:
    void SetUp() override { ResetEventLogLimit(); }
    void TearDown() override {
        ResetEventLogLimit();
        ZAV_MsgDestroyAll(&list_);
    }
    ZAVLinkAnchor list_ = {};
    TestEventLog log_;
};
