#include <atomic>
#include <memory>
#include <thread>

#include "TraceTestSupport.h"

namespace {

// Threads stop their own traces while the others stop theirs: none of the
// stops may be skipped, so every file ends with its closing line and every
// trace is inactive afterwards.
TEST(TraceConcurrency, ThreadsStoppingTheirOwnTracesCloseEveryFile) {
    const int kThreads = 4, kTraces = 4 * 6;
    for (int round = 0; round < 10; ++round) {
        std::unique_ptr<ScratchTrace> traces[kTraces];
        for (auto& trace : traces) trace.reset(new ScratchTrace("stopped"));
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (ready.fetch_add(1); ready.load() < kThreads;) std::this_thread::yield();
                for (int i = t; i < kTraces; i += kThreads) traces[i]->trace.TraceStop(1);
            });
        for (std::thread& thread : threads) thread.join();
        for (const auto& t : traces) {
            EXPECT_EQ(t->trace.TraceActive(), 0) << t->Path();
            EXPECT_EQ(t->Text(), Header(t->Path()) + "T E Trace Closed.\r\n");
        }
    }
}

}  // namespace
