// Saving a line to the wrap ring allocates nothing, and a line that cannot
// be composed is reported to the event log. This program owns malloc for the
// whole process (the library's memory manager and operator new both end
// there): it counts calls and can refuse large blocks.
#include <atomic>

#include "TraceTestSupport.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" void* __libc_malloc(size_t size);
namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gMallocs{0};
std::atomic<size_t> gRefuseAbove{0};  // 0: refuse nothing
}  // namespace
extern "C" void* malloc(size_t size) {
    if (gCounting.load(std::memory_order_relaxed)) gMallocs.fetch_add(1, std::memory_order_relaxed);
    const size_t limit = gRefuseAbove.load(std::memory_order_relaxed);
    return limit != 0 && size > limit ? nullptr : __libc_malloc(size);
}

namespace {

template <typename F>
long Mallocs(F&& calls) {
    gMallocs = 0;
    gCounting = true;
    calls();
    gCounting = false;
    return gMallocs.load();
}

TEST(WrapRing, SavingALineAllocatesNothing) {
    ScratchTrace t("never-dumped", 8192);
    const WString text(60, ZAV_TEXT('x'));
    for (int i = 0; i < 10; ++i) t.trace.InsertMsg(text.c_str());  // the line buffer reaches its size
    EXPECT_EQ(Mallocs([&] { for (int i = 0; i < 1000; ++i) t.trace.InsertMsg(text.c_str()); }), 0);
    ZAVString probe(ZAV_TEXT("probe"));  // the count works: ANSI text takes a fresh block
    EXPECT_GE(Mallocs([&] { probe.ANSIString(); }), 1);
}

// A text whose line cannot be made: the line is lost and an information
// event names the step, PgmChkLoc=400, with the text cut to fit 512 characters.
TEST(TraceFailure, ALostLineIsReportedToTheEventLog) {
    EventLogCapture log;
    ScratchTrace t("lost");
    const WString huge(1 << 20, ZAV_TEXT('h'));
    gRefuseAbove = 1 << 20;  // the line's 2 MiB buffer is refused, small blocks are not
    t.trace.InsertMsg(huge.c_str());
    gRefuseAbove = 0;
    t.trace.InsertMsg(ZAV_TEXT("after"));
    t.trace.TraceStop(0);
    const std::vector<std::string> entries = log.Drain();
    ASSERT_EQ(entries.size(), 1u);
    const std::string prefix = "ZAVDebug.InsertMsg PgmChkLoc=400, Original Text=\"", &datagram = entries[0];
    EXPECT_EQ(datagram.compare(0, 4, "<14>"), 0) << datagram;  // information
    ASSERT_NE(datagram.find(prefix), std::string::npos) << datagram;
    EXPECT_EQ(datagram.substr(datagram.find(prefix)), prefix + std::string(511 - prefix.size() - 1, 'h') + "\"");
    EXPECT_EQ(t.Body(), "T E after\r\n");  // the lost line is missing; the trace goes on
}

}  // namespace
#else
TEST(MallocControlled, SkippedUnderSanitizers) { GTEST_SKIP() << "the sanitizer owns malloc in this build"; }
#endif
