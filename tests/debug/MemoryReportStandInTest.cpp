// Heap reports where the stand-in frees a heap behind the walk's back or
// emulates an older platform.
#include "FreshProcess.h"
#include "TraceTestSupport.h"
#include "ZAVPlatformTest.h"

namespace {

// A busy block that is gone by the time its bytes are shown ends the
// report; the host goes on.
TEST(HeapReport, ABlockFreedAfterTheWalkEndsTheReport) {
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(heap, nullptr);
    memset(HeapAlloc(heap, 0, 64), 'x', 64);
    ScratchTrace t("freed");
    ZAVPlatformTest_AfterNextHeapUnlock([](void* h) { HeapDestroy(h); }, heap);  // every block goes with its heap
    t.trace.TraceHeap(heap, 0x2, 32, -1);
    t.trace.InsertMsg(ZAV_TEXT("still tracing"));
    t.trace.TraceStop(0);
    const auto lines = ReportLines(t.Text());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "...>>> Detailed Heap Trace <<<...");
    EXPECT_EQ(lines.back(), "still tracing");
    for (const std::string& line : lines) {
        EXPECT_NE(line.compare(0, 4, "Busy"), 0) << "the block's line is not written";
        EXPECT_NE(line, "HeapWalk complete.");
    }
}

TEST(HeapReport, NothingOffNt) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        ZAVDebug trace;
        trace.TraceHeap(nullptr, 0, 0, -1);
        EXPECT_EQ(trace.TraceActive(), 0);
    });
}

}  // namespace
