// What a host observes of the event log on every platform: the entries
// counted against the flood limit, and the end of the process at the limit.
#include <cstdlib>

#include <gtest/gtest.h>

#include "TestEventLog.h"
#include "WString.h"
#include "ZAVUtil1.h"

namespace {

using EventLog = EventLogFixture;

TEST_F(EventLog, EachReportedEntryCountsAndTheRecordIsOnlyRead) {
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 777, ZAVCatWarning50, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("first"));
    ZAV_MsgAddInsertion(msg, ZAV_TEXT("second"));
    ZAV_LogEvent(*msg, ZAV_TEXT("%2 after %1"), nullptr);
    EXPECT_EQ(g_LogEntriesCount, 1);
    EXPECT_EQ(msg->InsertionBytes, 28u);
    ZAV_LogEvent(ZAVCatInfo6, ZAV_TEXT("text \u00e9"), 99, nullptr);
    ZAV_LogEvent(ZAVCatError90, ZAV_TEXT("text"), 99, ZAV_TEXT("MyAgent"));
    ZAV_LogEvent(static_cast<ZAVMsgCategory>(40), ZAV_TEXT("text"), 99, ZAV_TEXT(""));
    EXPECT_EQ(g_LogEntriesCount, 4);
    EXPECT_NE(g_FirstLogMsgTime, 0u) << "the window starts with the first entry";
}

TEST_F(EventLog, NothingToFormatMeansNothingCounted) {
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT(""), 1, nullptr);
    ZAV_LogEvent(ZAVCatInfo10, nullptr, 1, nullptr);
    ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("%1"), 1, nullptr);  // an insert without insertions
    EXPECT_EQ(g_LogEntriesCount, 0);
}

TEST_F(EventLog, ZeroWindowStartsANewOneInsteadOfEnding) {
    g_LogEntriesMax = 2;
    g_LogMsgCancelTime = 0;
    for (int i = 0; i < 3; ++i) ZAV_LogEvent(ZAVCatInfo10, ZAV_TEXT("entry"), 1, nullptr);
    EXPECT_EQ(g_LogEntriesCount, 1);
}

TEST_F(EventLog, FloodLimitEndsTheProcessWith112) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    g_LogEntriesMax = 2;
    EXPECT_EXIT(
        {
            for (int i = 0; i < 2; ++i) ZAV_LogEvent(ZAVCatError70, ZAV_TEXT("flood"), 1, nullptr);
            if (g_LogEntriesCount != 2) std::_Exit(1);
            ZAV_LogEvent(ZAVCatError70, ZAV_TEXT("flood"), 1, nullptr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(112), "");
}

}  // namespace
