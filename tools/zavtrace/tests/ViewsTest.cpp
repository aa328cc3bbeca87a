// The narrower views over traces the library wrote: by process, thread and
// time window, rows and stacks per thread. (Callers, callees and the diff of
// two traces have golden files over the frozen sample.)
#include "TraceTest.h"

namespace {

// Paths and a per-thread profile of the calls a filter lets through, with their tracks.
struct Viewed : zavtrace::EventSink {
    zavtrace::RoutineTable routines;
    zavtrace::StackTree reader;
    zavtrace::PathSink paths;
    zavtrace::ProfileSink profile{true};
    std::vector<zavtrace::Track> tracks;
    Viewed(const std::vector<std::string>& files, const zavtrace::EventFilter& filter, bool threadRoots)
        : paths(reader, routines, threadRoots) {
        zavtrace::FilteredSink filtered(filter, *this);
        zavtrace::TraceReader(routines, filtered, &reader).Read(files);
    }
    void OnCall(const zavtrace::Track& t, const zavtrace::Call& c) override {
        paths.OnCall(t, c), profile.OnCall(t, c), tracks.push_back(t);
    }
    uint64_t Calls(const std::string& name) const {  // over the threads
        uint64_t calls = 0;
        for (const auto& row : profile.Rows(routines)) calls += row.name == name ? row.calls : 0;
        return calls;
    }
};

}  // namespace

// Filters pick the writer's calls; per-thread rows and roots keep writers apart.
TEST(ViewsTest, ProcessThreadAndWindowFilters) {
    TempDir dir;
    std::vector<std::thread> writers;  // each with its own trace object
    for (const int runs : {2, 5})
        writers.emplace_back([&, runs] {
            WriteTrace(dir.path() + "/t" + std::to_string(runs), [&](ZAVDebug& t) { for (int r = 0; r < runs; ++r) RunScenario(t); });
        });
    for (auto& w : writers) w.join();
    const std::vector<std::string> files = dir.Files();
    const Viewed all(files, {}, true);
    uint32_t busy = 0;  // the thread of the 5 runs
    for (const auto& row : all.profile.Rows(all.routines))
        if (row.name == "Host.Run" && row.calls == 5) busy = std::stoul(row.thread.substr(row.thread.find('/') + 1));
    ASSERT_NE(busy, 0u);
    const uint32_t pid = all.tracks.front().processId;
    const auto& nodes = all.paths.Paths().Nodes();
    for (size_t id = 1; id < nodes.size(); ++id)
        if (nodes[id].parent == 0) { EXPECT_EQ(all.routines.Name(nodes[id].routine), "process " + std::to_string(pid)); }
    int64_t firstStart = INT64_MAX;
    for (const auto& c : ReadResult(files).calls) firstStart = std::min(firstStart, c.startUs);
    zavtrace::EventFilter byThread, byOtherProcess, afterAll, beforeAll;
    byThread.threadId = busy;
    byOtherProcess.processId = pid + 1;
    afterAll.from = zavtrace::TraceTime{true, INT64_MAX / 2};
    beforeAll.to = zavtrace::TraceTime{true, firstStart};
    for (const auto& [filter, runs] : {std::pair{byThread, 5u}, std::pair{byOtherProcess, 0u}, std::pair{afterAll, 0u},
                                       std::pair{beforeAll, 0u}}) {
        const Viewed v(files, filter, false);
        EXPECT_EQ(v.Calls("Host.Run"), runs);
        for (const auto& t : v.tracks) EXPECT_TRUE(filter.Tracks(t));
    }
}
