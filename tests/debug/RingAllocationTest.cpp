// Saving a line to the wrap ring allocates nothing. This program counts
// every malloc of the process (the library's memory manager and operator new
// both end there) by interposing the allocator's entry point.
#include <atomic>

#include "TraceTestSupport.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" void* __libc_malloc(size_t size);
namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gMallocs{0};
}  // namespace
extern "C" void* malloc(size_t size) {
    if (gCounting.load(std::memory_order_relaxed)) gMallocs.fetch_add(1, std::memory_order_relaxed);
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
    std::u16string name = u"/tmp/zav-ring-never-dumped";
    trace.TraceStart(name.data(), 8192);
    const std::u16string text(60, u'x');
    for (int i = 0; i < 10; ++i) trace.InsertMsg(text.c_str());  // the line buffer reaches its size
    gMallocs = 0;
    gCounting = true;
    for (int i = 0; i < 1000; ++i) trace.InsertMsg(text.c_str());
    gCounting = false;
    EXPECT_EQ(gMallocs.load(), 0);
    // The counter works: a file line converts to ANSI in a fresh block.
    ZAVString probe(u"probe");
    gCounting = true;
    probe.ANSIString();
    gCounting = false;
    EXPECT_GE(gMallocs.load(), 1);
#endif
}

}  // namespace
