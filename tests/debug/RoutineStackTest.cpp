#include "TraceTestSupport.h"

namespace {

const LONG kNone = 0x7FFFFFFF;

// A trace to a scratch file whose masked lines after the header the test reads.
class RoutineTest : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = dir_.Wide("stack");
        trace_.TraceStart(name_.data(), 0);
    }
    std::string Lines() {
        const std::string path = dir_.path() + "/stack.log";
        const std::string all = Masked(ReadFile(path));
        return all.substr(Header(path).size());
    }
    ScratchDirectory dir_;
    std::u16string name_;
    ZAVDebug trace_;
};

TEST_F(RoutineTest, PushPopLinesIndentationAndDurations) {
    EXPECT_EQ(trace_.RoutinePush(u"Main", u"Run", nullptr, 1), 0);
    trace_.InsertMsg(u"inside");
    EXPECT_EQ(trace_.RoutinePush(u"Sync", u"Copy", u"extra", -2), 1);
    EXPECT_EQ(std::u16string(trace_.ShowCallStack().c_str()), u"Main.Run;Sync.Copy");
    EXPECT_EQ(std::u16string(trace_.ActiveRoutine().c_str()), u"Sync.Copy");
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
    trace_.RoutinePush(u"A", u"quiet", nullptr, 0);
    trace_.RoutinePush(u"B", u"inherits", nullptr, -2);
    trace_.InsertMsg(u"deep");
    trace_.RoutinePush(u"C", u"loud", nullptr, 7);
    trace_.RoutinePop(-1, kNone);
    trace_.RoutinePop(-1, kNone);
    trace_.RoutinePop(-1, kNone);
    EXPECT_EQ(Lines(),
              "T E         deep\r\n"
              "T E         Push C.loud\r\n"
              "T E         Pop  C.loud  Dur=X msecs\r\n");
}

TEST_F(RoutineTest, PopToAnOuterLevelAndRepeatedPops) {
    trace_.RoutinePush(u"L0", u"r", nullptr, 1);
    const LONG outer = trace_.RoutinePush(u"L1", u"r", nullptr, 1);
    trace_.RoutinePush(u"L2", u"r", nullptr, 1);
    trace_.RoutinePush(u"L3", u"r", nullptr, 1);
    trace_.RoutinePop(outer, 0);  // removes levels 1 to 3 at once
    EXPECT_EQ(std::u16string(trace_.ShowCallStack().c_str()), u"L0.r");
    trace_.RoutinePop(outer, 0);  // already left: "Pop  " alone
    EXPECT_EQ(trace_.m_RoutineLevel, 0);
    EXPECT_EQ(trace_.m_pRoutineNames->Items[2]->length(), 0u);  // emptied, kept for reuse
    const std::string lines = Lines();
    EXPECT_NE(lines.find("T E     Pop  L1.r Return Code=0  Dur=X msecs\r\n"), std::string::npos) << lines;
    const std::string alone = "T E     Pop  \r\n";
    EXPECT_EQ(lines.substr(lines.size() - alone.size()), alone) << lines;
}

TEST_F(RoutineTest, RequestTextOnlyWhenTracing) {
    trace_.RoutinePushReq(u"Svc", u"Handle", 42, 1);
    trace_.RoutinePushReq(u"Svc", u"Other", kNone, 1);
    EXPECT_EQ(Lines(), "T E Push Svc.Handle  Request=42\r\nT E     Push Svc.Other\r\n");
}

TEST(RoutineStack, GrowsByEightWithoutTracingAndFeedsMessages) {
    ZAVDebug trace;
    for (LONG i = 0; i < 40; ++i) {
        EXPECT_EQ(trace.RoutinePush(u"O", u"r", nullptr, 1), i);
        if (i == 20) {
            EXPECT_EQ(trace.m_pRoutineNames->Size, 28u);
        }
        if (i == 28) {
            EXPECT_EQ(trace.m_pRoutineTraceOn->Size, 36u);
        }
    }
    EXPECT_EQ(trace.m_pRoutineStart->Size, 44u);
    EXPECT_EQ(trace.m_pRoutineStart->Items[5], 0u);  // never traced: no start time taken

    ZAVLinkAnchor list = {};
    ZAVMsg* named = ZAV_MsgCreate(&list, 1, ZAVCatInfo10, 0, 0, 0, 0, &trace);
    ASSERT_NE(named->pRoutine, nullptr);
    EXPECT_EQ(std::u16string(named->pRoutine), u"O.r");
    for (int i = 0; i < 40; ++i) trace.RoutinePop(-1, kNone);
    EXPECT_EQ(trace.m_RoutineLevel, -1);
    EXPECT_EQ(ZAV_MsgCreate(&list, 2, ZAVCatInfo10, 0, 0, 0, 0, &trace)->pRoutine, nullptr);
    EXPECT_EQ(ZAV_MsgCreate(&list, 3, ZAVCatInfo10, 0, 0, 0, 0, nullptr)->pRoutine, nullptr);
    ZAV_MsgDestroyAll(&list);
}

}  // namespace
