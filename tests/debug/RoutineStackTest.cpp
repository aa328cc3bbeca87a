#include "TraceTestSupport.h"

namespace {

const LONG kNone = 0x7FFFFFFF;

// Push and pop lines, indented by level: a silent routine writes nothing and
// one that inherits follows its caller; a pop to an outer level removes the
// levels above it at once, and a pop of a level already left is bare.
// Without a trace the stack still grows and names the routine of a record.
TEST(RoutineStack, LinesIndentationModesPopsAndGrowthWithoutTracing) {
    ScratchTrace t("stack");
    ZAVDebug& trace = t.trace;
    EXPECT_EQ(trace.RoutinePush(ZAV_TEXT("Main"), ZAV_TEXT("Run"), nullptr, 1), 0);
    trace.InsertMsg(ZAV_TEXT("inside"));
    EXPECT_EQ(trace.RoutinePushReq(ZAV_TEXT("Sync"), ZAV_TEXT("Copy"), 42, -2), 1);
    EXPECT_EQ(WString(trace.ShowCallStack().c_str()), ZAV_TEXT("Main.Run;Sync.Copy"));
    trace.RoutinePush(ZAV_TEXT("A"), ZAV_TEXT("quiet"), ZAV_TEXT("unseen"), 0);
    trace.RoutinePushReq(ZAV_TEXT("B"), ZAV_TEXT("inherits"), kNone, -2);
    trace.InsertMsg(ZAV_TEXT("deep"));
    trace.RoutinePush(ZAV_TEXT("C"), ZAV_TEXT("loud"), ZAV_TEXT("extra"), 7);
    trace.RoutinePop(-1, kNone);
    trace.RoutinePop(2, 0);  // B and A go with it
    EXPECT_EQ(trace.m_RoutineLevel, 1);
    trace.RoutinePop(2, 0);
    trace.RoutinePop(1, 5);
    trace.RoutinePop(-1, kNone);
    trace.RoutinePop(0, 1);  // the stack is empty: nothing
    EXPECT_EQ(trace.ActiveRoutine().length() + trace.ShowCallStack().length(), 0u);
    EXPECT_EQ(t.Body(),
              "T E Push Main.Run\r\n"
              "T E     inside\r\n"
              "T E     Push Sync.Copy  Request=42\r\n"
              "T E                 deep\r\n"
              "T E                 Push C.loud  extra\r\n"
              "T E                 Pop  C.loud  Dur=X msecs\r\n"
              "T E         Pop  \r\n"
              "T E     Pop  Sync.Copy Return Code=5  Dur=X msecs\r\n"
              "T E Pop  Main.Run  Dur=X msecs\r\n");
    trace.TraceStop(0);
    for (LONG i = 0; i < 40; ++i) EXPECT_EQ(trace.RoutinePushReq(ZAV_TEXT("O"), ZAV_TEXT("r"), i, 1), i);
    ZAVLinkAnchor list = {};
    EXPECT_EQ(WString(ZAV_MsgCreate(&list, 1, ZAVCatInfo10, 0, 0, 0, 0, &trace)->pRoutine), ZAV_TEXT("O.r"));
    trace.RoutinePop(45, kNone);  // above the top: nothing
    trace.RoutinePop(-1, kNone);
    EXPECT_EQ(trace.m_RoutineLevel, 38);
    trace.RoutinePop(0, kNone);
    EXPECT_EQ(ZAV_MsgCreate(&list, 2, ZAVCatInfo10, 0, 0, 0, 0, &trace)->pRoutine, nullptr);
    ZAV_MsgDestroyAll(&list);
}

}  // namespace
