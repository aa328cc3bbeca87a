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
    ScratchDirectory dir;
    for (int round = 0; round < 10; ++round) {
        std::unique_ptr<ZAVDebug> traces[kTraces];
        for (int i = 0; i < kTraces; ++i) {
            WString name = dir.Wide("r" + std::to_string(round) + "n" + std::to_string(i));
            traces[i].reset(new ZAVDebug);
            traces[i]->TraceStart(name.data(), 0);
        }
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (ready.fetch_add(1); ready.load() < kThreads;) std::this_thread::yield();
                for (int i = t; i < kTraces; i += kThreads) traces[i]->TraceStop(1);
            });
        for (std::thread& thread : threads) thread.join();
        for (int i = 0; i < kTraces; ++i) {
            const std::string path = dir.File("r" + std::to_string(round) + "n" + std::to_string(i) + ".log");
            EXPECT_EQ(traces[i]->TraceActive(), 0) << path;
            EXPECT_EQ(Masked(ReadFile(path)), Header(path) + "T E Trace Closed.\r\n");
        }
    }
}

}  // namespace
