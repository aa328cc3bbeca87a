#include "TraceTestSupport.h"

namespace {

const LONG kNone = 0x7FFFFFFF;

class RoutineTest : public ::testing::Test {
protected:
    std::string Lines() const { return t_.Body(); }
    ScratchTrace t_{"stack"};
    ZAVDebug& trace_ = t_.trace;
};

TEST_F(RoutineTest, PushPopLinesIndentationAndDurations) {
    EXPECT_EQ(trace_.RoutinePush(ZAV_TEXT("Main"), ZAV_TEXT("Run"), nullptr, 1), 0);
    trace_.InsertMsg(ZAV_TEXT("inside"));
    EXPECT_EQ(trace_.RoutinePush(ZAV_TEXT("Sync"), ZAV_TEXT("Copy"), ZAV_TEXT("extra"), -2), 1);
    EXPECT_EQ(WString(trace_.ShowCallStack().c_str()), ZAV_TEXT("Main.Run;Sync.Copy"));
    EXPECT_EQ(WString(trace_.ActiveRoutine().c_str()), ZAV_TEXT("Sync.Copy"));
    trace_.RoutinePop(1, 5);
    trace_.RoutinePop(-1, kNone);
    trace_.RoutinePop(0, 1);  // the stack is empty: nothing
    EXPECT_EQ(Lines(),
              "T E Push Main.Run\r\n"
              "T E     inside\r\n"
              "T E     Push Sync.Copy  extra\r\n"
              "T E     Pop  Sync.Copy Return Code=5  Dur=X msecs\r\n"
              "T E Pop  Main.Run  Dur=X msecs\r\n");
    EXPECT_EQ(trace_.ActiveRoutine().length(), 0u);
    EXPECT_EQ(trace_.ShowCallStack().length(), 0u);
}

TEST_F(RoutineTest, ModesSilenceAndInherit) {
    trace_.RoutinePush(ZAV_TEXT("A"), ZAV_TEXT("quiet"), nullptr, 0);
    trace_.RoutinePush(ZAV_TEXT("B"), ZAV_TEXT("inherits"), nullptr, -2);
    trace_.InsertMsg(ZAV_TEXT("deep"));
    trace_.RoutinePush(ZAV_TEXT("C"), ZAV_TEXT("loud"), nullptr, 7);
    trace_.RoutinePop(-1, kNone);
    trace_.RoutinePop(-1, kNone);
    trace_.RoutinePop(-1, kNone);
    EXPECT_EQ(Lines(),
              "T E         deep\r\n"
              "T E         Push C.loud\r\n"
              "T E         Pop  C.loud  Dur=X msecs\r\n");
}

TEST_F(RoutineTest, PopToAnOuterLevelAndRepeatedPops) {
    trace_.RoutinePush(ZAV_TEXT("L0"), ZAV_TEXT("r"), nullptr, 1);
    const LONG outer = trace_.RoutinePush(ZAV_TEXT("L1"), ZAV_TEXT("r"), nullptr, 1);
    trace_.RoutinePush(ZAV_TEXT("L2"), ZAV_TEXT("r"), nullptr, 1);
    trace_.RoutinePush(ZAV_TEXT("L3"), ZAV_TEXT("r"), nullptr, 1);
    trace_.RoutinePop(outer, 0);  // removes levels 1 to 3 at once
    EXPECT_EQ(WString(trace_.ShowCallStack().c_str()), ZAV_TEXT("L0.r"));
    trace_.RoutinePop(outer, 0);  // already left: "Pop  " alone
    EXPECT_EQ(trace_.m_RoutineLevel, 0);
    EXPECT_EQ(trace_.m_pRoutineNames->Items[2]->length(), 0u);  // emptied, kept for reuse
    const std::string lines = Lines();
    EXPECT_NE(lines.find("T E     Pop  L1.r Return Code=0  Dur=X msecs\r\n"), std::string::npos) << lines;
    const std::string alone = "T E     Pop  \r\n";
    EXPECT_EQ(lines.substr(lines.size() - alone.size()), alone) << lines;
}

TEST_F(RoutineTest, RequestTextOnlyWhenTracing) {
    trace_.RoutinePushReq(ZAV_TEXT("Svc"), ZAV_TEXT("Handle"), 42, 1);
    trace_.RoutinePushReq(ZAV_TEXT("Svc"), ZAV_TEXT("Other"), kNone, 1);
    EXPECT_EQ(Lines(), "T E Push Svc.Handle  Request=42\r\nT E     Push Svc.Other\r\n");
}

// Without a trace the stack still grows and names the routine of a record.
TEST(RoutineStack, GrowsWithoutTracingAndFeedsMessages) {
    ZAVDebug trace;
    for (LONG i = 0; i < 40; ++i) EXPECT_EQ(trace.RoutinePush(ZAV_TEXT("O"), ZAV_TEXT("r"), nullptr, 1), i);
    EXPECT_EQ(trace.m_pRoutineStart->Items[5], 0u);  // never traced: no start time taken

    ZAVLinkAnchor list = {};
    ZAVMsg* named = ZAV_MsgCreate(&list, 1, ZAVCatInfo10, 0, 0, 0, 0, &trace);
    ASSERT_NE(named->pRoutine, nullptr);
    EXPECT_EQ(WString(named->pRoutine), ZAV_TEXT("O.r"));
    for (int i = 0; i < 40; ++i) trace.RoutinePop(-1, kNone);
    EXPECT_EQ(trace.m_RoutineLevel, -1);
    EXPECT_EQ(ZAV_MsgCreate(&list, 2, ZAVCatInfo10, 0, 0, 0, 0, &trace)->pRoutine, nullptr);
    EXPECT_EQ(ZAV_MsgCreate(&list, 3, ZAVCatInfo10, 0, 0, 0, 0, nullptr)->pRoutine, nullptr);
    ZAV_MsgDestroyAll(&list);
}

}  // namespace
