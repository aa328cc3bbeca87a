// The narrower views over traces the library wrote (by process, thread and
// time window, rows and stacks per thread, callers and callees) and two
// traces compared per routine and per call path.
#include <array>
#include <cmath>

#include "CallPaths.h"
#include "Diff.h"
#include "TraceTest.h"

namespace {

// Two threads, each with its own trace object: runs[i] runs of the scenario.
std::vector<std::string> TwoThreads(const TempDir& dir, std::array<int, 2> runs) {
    std::vector<std::thread> writers;
    for (int i = 0; i < 2; ++i)
        writers.emplace_back([&, i] {
            WriteTrace(dir.path() + "/t" + std::to_string(i), [&](ZAVDebug& t) { for (int r = 0; r < runs[i]; ++r) RunScenario(t); });
        });
    for (auto& w : writers) w.join();
    return dir.Files();
}

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
    uint64_t Calls(const std::string& name) const {
        uint64_t calls = 0;
        for (const auto& row : profile.Rows(routines)) calls += row.name == name ? row.calls : 0;
        return calls;
    }
};

}  // namespace

// Filters pick the writer's calls; per-thread rows and roots keep writers apart.
TEST(ViewsTest, ProcessThreadAndWindowFilters) {
    TempDir dir;
    const std::vector<std::string> files = TwoThreads(dir, {2, 5});
    const Viewed all(files, {}, true);
    ASSERT_FALSE(all.tracks.empty());
    uint32_t busy = 0;  // the thread of the 5 runs
    for (const auto& row : all.profile.Rows(all.routines))
        if (row.name == "Host.Run" && row.calls == 5) busy = std::stoul(row.thread.substr(row.thread.find('/') + 1));
    ASSERT_NE(busy, 0u);
    const uint32_t pid = all.tracks.front().processId;
    // Every stack is rooted at its process and thread.
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

TEST(ViewsTest, CallersAndCallees) {
    TempDir dir;
    const Viewed v(TwoThreads(dir, {1, 2}), {}, false);
    struct Case {
        const char* routine;
        zavtrace::Direction direction;
        std::map<std::string, uint64_t> calls;
    };
    for (const Case& c : {Case{"Work.Parse", zavtrace::Direction::Callers, {{"Work.Load", 9}}},
                          Case{"Host.Run", zavtrace::Direction::Callers, {{"(outermost)", 3}}},
                          Case{"Host.Run", zavtrace::Direction::Callees,
                               {{"Work.Load", 9}, {"Work.Save", 3}, {"Work.Fail", 3}, {"(self)", 0}}},
                          Case{"Work.Fail", zavtrace::Direction::Callees, {{"Work.Inner", 3}, {"(self)", 0}}}}) {
        SCOPED_TRACE(c.routine);
        std::map<std::string, uint64_t> calls;
        int64_t sum = 0;
        for (const auto& n : zavtrace::Neighbours(v.paths.Paths(), v.routines, c.routine, c.direction))
            calls[n.name] = n.calls, sum += n.totalUs;
        EXPECT_EQ(calls, c.calls);
        // Callers share out the routine's time; callees and its self time make it up.
        double totalMs = 0;
        for (const auto& row : v.profile.Rows(v.routines)) totalMs += row.name == c.routine ? row.totalMs : 0;
        EXPECT_NEAR(sum / 1000.0, totalMs, 0.002);
    }
}

TEST(ViewsTest, RoutinesAndPathsComparedBetweenTwoTraces) {
    TempDir dir;
    // runs of the scenario, then `extra` calls of Work.Extra under Host.Run.
    const auto trace = [&](const std::string& base, int runs, int extra) {
        return WriteTrace(dir.path() + "/" + base, [&](ZAVDebug& t) {
            for (int i = 0; i < runs; ++i) RunScenario(t, 0, 1);
            const LONG run = t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Run"), nullptr, 1);
            for (int i = 0; i < extra; ++i) {
                const LONG level = t.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Extra"), nullptr, 1);
                SleepMs(5);
                t.RoutinePop(level, 0);
            }
            t.RoutinePop(run, 0);
        });
    };
    const std::vector<std::string> files = {trace("a", 1, 0), trace("b", 2, 3)};
    zavtrace::RoutineTable routines;
    zavtrace::StackTree readers[2];
    zavtrace::PathSink paths[2] = {{readers[0], routines, false}, {readers[1], routines, false}};
    zavtrace::ProfileSink profiles[2];
    for (int i = 0; i < 2; ++i) {
        zavtrace::TeeSink both(paths[i], profiles[i]);
        zavtrace::TraceReader(routines, both, &readers[i]).Read({files[i]});
    }
    const auto rows = zavtrace::DiffProfiles(profiles[0].Rows(routines), profiles[1].Rows(routines));
    // Times are the machine's: only b's 15 ms of Work.Extra is certain to show.
    for (const auto& [name, callsA, callsB] :
         {std::tuple{"Host.Run", 2u, 3u}, std::tuple{"Work.Load", 3u, 6u}, std::tuple{"Work.Extra", 0u, 3u}}) {
        auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.name == name; });
        ASSERT_NE(row, rows.end()) << name;
        EXPECT_EQ(std::tuple(row->callsA, row->callsB), std::tuple(uint64_t{callsA}, uint64_t{callsB})) << name;
        if (callsA == 0) { EXPECT_GE(row->totalB, 15.0); }
    }
    for (size_t i = 1; i < rows.size(); ++i)  // the largest change comes first
        EXPECT_GE(std::abs(rows[i - 1].totalB - rows[i - 1].totalA), std::abs(rows[i].totalB - rows[i].totalA));
    // Work.Extra's path is new in b: the largest growth of any path.
    zavtrace::FlameOptions flame;
    flame.change = zavtrace::PathChanges(paths[0].Paths(), paths[1].Paths());
    const auto& nodes = paths[1].Paths().Nodes();
    for (size_t id = 1; id < nodes.size(); ++id) {
        EXPECT_LE(std::abs(flame.change[id]), 1.0);
        if (routines.Name(nodes[id].routine) == "Work.Extra") { EXPECT_EQ(flame.change[id], 1.0); }
    }
    EXPECT_NE(zavtrace::FlameGraphSvg(paths[1].Paths(), routines, flame).find("rgb(255,55,55)"), std::string::npos);
}
