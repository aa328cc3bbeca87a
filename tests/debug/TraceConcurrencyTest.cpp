#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "TraceTestSupport.h"

namespace {

// Threads stop their own traces while the others stop theirs: none of the
// stops may be skipped, so every file ends with its closing line and every
// trace is inactive afterwards.
TEST(TraceConcurrency, ThreadsStoppingTheirOwnTracesCloseEveryFile) {
    const int kThreads = 4, kTracesPerThread = 6, kRounds = 10;
    ScratchDirectory dir;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<ZAVDebug>> traces;
        std::vector<std::string> files;
        for (int i = 0; i < kThreads * kTracesPerThread; ++i) {
            files.push_back("r" + std::to_string(round) + "n" + std::to_string(i));
            traces.emplace_back(new ZAVDebug);
            WString name = dir.Wide(files.back());
            traces.back()->TraceStart(name.data(), 0);
            ASSERT_EQ(traces.back()->TraceActive(), 1);
        }
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                ready.fetch_add(1);
                while (ready.load() < kThreads) std::this_thread::yield();
                for (int i = t; i < kThreads * kTracesPerThread; i += kThreads) traces[i]->TraceStop(1);
            });
        for (std::thread& thread : threads) thread.join();
        for (size_t i = 0; i < traces.size(); ++i) {
            const std::string path = dir.File(files[i] + ".log");
            EXPECT_EQ(traces[i]->TraceActive(), 0) << path;
            EXPECT_EQ(Masked(ReadFile(path)), Header(path) + "T E Trace Closed.\r\n");
        }
    }
}

}  // namespace
