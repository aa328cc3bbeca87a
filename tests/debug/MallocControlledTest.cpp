// Saving a line to the wrap ring allocates nothing, and a line that cannot
// be composed is reported to the event log. This program owns malloc for the
// whole process (the library's memory manager and operator new both end
// there): it counts calls and can refuse large blocks.
#include <atomic>

#include "EventLogCapture.h"
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
    if (limit != 0 && size > limit) return nullptr;
    return __libc_malloc(size);
}
#define ZAV_COUNTS_MALLOC 1
#endif

namespace {

TEST(WrapRing, SavingALineAllocatesNothing) {
#ifndef ZAV_COUNTS_MALLOC
    GTEST_SKIP() << "the sanitizer owns malloc in this build";
#else
    ZAVDebug trace;
    WString name = ZAV_TEXT("/tmp/zav-ring-never-dumped");
    trace.TraceStart(name.data(), 8192);
    const WString text(60, ZAV_TEXT('x'));
    for (int i = 0; i < 10; ++i) trace.InsertMsg(text.c_str());  // the line buffer reaches its size
    gMallocs = 0;
    gCounting = true;
    for (int i = 0; i < 1000; ++i) trace.InsertMsg(text.c_str());
    gCounting = false;
    EXPECT_EQ(gMallocs.load(), 0);
    // The counter works: a file line converts to ANSI in a fresh block.
    ZAVString probe(ZAV_TEXT("probe"));
    gCounting = true;
    probe.ANSIString();
    gCounting = false;
    EXPECT_GE(gMallocs.load(), 1);
#endif
}

// A text whose line cannot be made: the line is lost and an information
// event names the step, PgmChkLoc=400, with the text cut to fit 512 characters.
TEST(TraceFailure, ALostLineIsReportedToTheEventLog) {
#ifndef ZAV_COUNTS_MALLOC
    GTEST_SKIP() << "the sanitizer owns malloc in this build";
#else
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
    const std::string& datagram = entries[0];
    EXPECT_EQ(datagram.compare(0, 4, "<14>"), 0) << datagram;  // information
    const std::string prefix = "ZAVDebug.InsertMsg PgmChkLoc=400, Original Text=\"";
    const size_t at = datagram.find(prefix);
    ASSERT_NE(at, std::string::npos) << datagram;
    const std::string report = datagram.substr(at);
    EXPECT_EQ(report.size(), 511u);
    EXPECT_EQ(report.back(), '"');
    EXPECT_EQ(report.substr(prefix.size(), 10), std::string(10, 'h'));
    // The lost line is missing from the file; the trace goes on.
    const std::string text = t.Text();
    EXPECT_EQ(text.find("hhhh"), std::string::npos);
    EXPECT_NE(text.find("T E after\r\n"), std::string::npos) << text;
#endif
}

}  // namespace
