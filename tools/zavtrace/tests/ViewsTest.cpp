// The narrower views over traces the library wrote: by process, thread and
// time window, rows and stacks per thread, callers and callees.
#include <gtest/gtest.h>

#include <thread>

#include "CallPaths.h"
#include "TestFiles.h"
#include "TraceScenario.h"
#include "Views.h"

namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Two threads, each with its own trace object: runs[i] runs of the scenario.
std::vector<std::string> TwoThreads(const TempDir& dir, const int (&runs)[2]) {
    std::vector<std::thread> writers;
    for (int i = 0; i < 2; ++i)
        writers.emplace_back([&, i] {
            ZAVDebug trace;
            std::u16string name = Wide(dir.path() + "/t" + std::to_string(i));
            trace.TraceStart(name.data(), 0);
            for (int r = 0; r < runs[i]; ++r) scenario::Run(trace, scenario::Sleeps{0, 0, 0, 0, 0});
        });
    for (auto& w : writers) w.join();
    return {dir.path() + "/t0.log", dir.path() + "/t1.log"};
}

struct Viewed {
    zavtrace::RoutineTable routines;
    zavtrace::StackTree reader;
    std::unique_ptr<zavtrace::PathSink> paths;
    zavtrace::ProfileSink profile{true};
    std::vector<zavtrace::Track> tracks;
};

void View(Viewed& v, const std::vector<std::string>& files, const zavtrace::EventFilter& filter, bool threadRoots) {
    struct Fan : zavtrace::EventSink {
        std::vector<zavtrace::EventSink*> sinks;
        std::vector<zavtrace::Track>* tracks;
        void OnCall(const zavtrace::Track& t, const zavtrace::Call& c) override {
            for (auto* s : sinks) s->OnCall(t, c);
            tracks->push_back(t);
        }
    } fan;
    v.paths = std::make_unique<zavtrace::PathSink>(v.reader, v.routines, threadRoots);
    fan.sinks = {v.paths.get(), &v.profile};
    fan.tracks = &v.tracks;
    zavtrace::FilteredSink filtered(filter, fan);
    zavtrace::TraceReader(v.routines, filtered, &v.reader).Read(files);
}

}  // namespace

TEST(ViewsTest, TraceTimes) {
    struct Case {
        const char* text;
        bool ok, dated;
        int64_t us;
    };
    for (const Case& c : {Case{"10:00:00", true, false, 36000000000}, Case{"23:59:59.25", true, false, 86399250000},
                          Case{"1970-01-02 00:00:01", true, true, 86401000000}, Case{"24:00:00", false, false, 0},
                          Case{"10:00", false, false, 0}, Case{"10:00:00x", false, false, 0},
                          Case{"2026-13-01 10:00:00", false, false, 0}}) {
        SCOPED_TRACE(c.text);
        zavtrace::TraceTime t;
        ASSERT_EQ(zavtrace::ParseTraceTime(c.text, t), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(t.dated, c.dated);
        EXPECT_EQ(t.us, c.us);
    }
}

// Filters pick the writer's calls; per-thread rows and roots keep writers apart.
TEST(ViewsTest, ProcessThreadAndWindowFilters) {
    TempDir dir;
    const int runs[2] = {2, 5};
    const std::vector<std::string> files = TwoThreads(dir, runs);
    Viewed all;
    View(all, files, {}, true);
    ASSERT_FALSE(all.tracks.empty());
    std::map<uint32_t, int> runsByThread;
    for (const auto& row : all.profile.Rows(all.routines))
        if (row.name == "Host.Run") runsByThread[std::stoul(row.thread.substr(row.thread.find('/') + 1))] = row.calls;
    ASSERT_EQ(runsByThread.size(), 2u);
    const uint32_t pid = all.tracks.front().processId;
    uint32_t busy = 0;
    for (const auto& [tid, count] : runsByThread)
        if (count == 5) busy = tid;
    ASSERT_NE(busy, 0u);
    // Every stack is rooted at its process and thread.
    for (size_t id = 1; id < all.paths->Paths().Nodes().size(); ++id) {
        const auto& node = all.paths->Paths().Nodes()[id];
        if (node.parent == 0) EXPECT_EQ(all.routines.Name(node.routine), "process " + std::to_string(pid));
    }

    const int64_t firstStart = [&] {
        int64_t first = INT64_MAX;
        Collected c;
        zavtrace::RoutineTable r;
        zavtrace::TraceReader(r, c, nullptr).Read(files);
        for (const auto& call : c.calls) first = std::min(first, call.startUs);
        return first;
    }();
    zavtrace::EventFilter byThread, byOtherProcess, afterAll, beforeAll;
    byThread.threadId = busy;
    byOtherProcess.processId = pid + 1;
    afterAll.from = zavtrace::TraceTime{true, INT64_MAX / 2};
    beforeAll.to = zavtrace::TraceTime{true, firstStart};
    struct Case {
        const char* what;
        zavtrace::EventFilter filter;
        size_t hostRuns;
    };
    for (const Case& c : {Case{"thread", byThread, 5}, Case{"other process", byOtherProcess, 0},
                          Case{"after the end", afterAll, 0}, Case{"before the start", beforeAll, 0}}) {
        SCOPED_TRACE(c.what);
        Viewed v;
        View(v, files, c.filter, false);
        size_t hostRuns = 0;
        for (const auto& row : v.profile.Rows(v.routines))
            if (row.name == "Host.Run") hostRuns += row.calls;
        EXPECT_EQ(hostRuns, c.hostRuns);
        for (const auto& t : v.tracks) EXPECT_TRUE(c.filter.Tracks(t));
    }
}

TEST(ViewsTest, CallersAndCallees) {
    TempDir dir;
    const int runs[2] = {1, 2};
    Viewed v;
    View(v, TwoThreads(dir, runs), {}, false);
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
        const auto rows = zavtrace::Neighbours(v.paths->Paths(), v.routines, c.routine, c.direction);
        std::map<std::string, uint64_t> calls;
        int64_t sum = 0;
        for (const auto& n : rows) calls[n.name] = n.calls, sum += n.totalUs;
        EXPECT_EQ(calls, c.calls);
        // Callers share out the routine's time; callees and its self time make it up.
        double totalMs = 0;
        for (const auto& row : v.profile.Rows(v.routines))
            if (row.name == c.routine) totalMs += row.totalMs;
        EXPECT_NEAR(sum / 1000.0, totalMs, 0.002);
    }
}
