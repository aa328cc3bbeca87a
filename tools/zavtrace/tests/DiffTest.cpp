// Two traces the library wrote, compared per routine and per call path.
#include <gtest/gtest.h>

#include <cmath>

#include "CallPaths.h"
#include "Diff.h"
#include "TestFiles.h"
#include "TraceScenario.h"
#include "Views.h"

namespace {

// runs of the scenario, then `extra` calls of Work.Extra under Host.Run.
std::string Trace(const TempDir& dir, const std::string& base, int runs, int extra) {
    ZAVDebug trace;
    std::u16string name(base.begin(), base.end());
    name = std::u16string(dir.path().begin(), dir.path().end()) + u"/" + name;
    trace.TraceStart(name.data(), 0);
    for (int i = 0; i < runs; ++i) scenario::Run(trace, scenario::Sleeps{0, 1, 0, 0, 0});
    const LONG run = trace.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Run"), nullptr, 1);
    for (int i = 0; i < extra; ++i) {
        const LONG level = trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Extra"), nullptr, 1);
        scenario::SleepMs(5);
        trace.RoutinePop(level, 0);
    }
    trace.RoutinePop(run, 0);
    return dir.path() + "/" + base + ".log";
}

}  // namespace

TEST(DiffTest, RoutinesAndPathsComparedBetweenTwoTraces) {
    TempDir dir;
    const std::string a = Trace(dir, "a", 1, 0), b = Trace(dir, "b", 2, 3);
    zavtrace::RoutineTable routines;
    zavtrace::StackTree readerA, readerB;
    zavtrace::PathSink pathsA(readerA, routines, false), pathsB(readerB, routines, false);
    zavtrace::ProfileSink profileA, profileB;
    for (auto [file, reader, paths, profile] : {std::tuple{a, &readerA, &pathsA, &profileA}, std::tuple{b, &readerB, &pathsB, &profileB}}) {
        zavtrace::TeeSink both(*paths, *profile);
        zavtrace::TraceReader(routines, both, reader).Read({file});
    }
    const auto rows = zavtrace::DiffProfiles(profileA.Rows(routines), profileB.Rows(routines));
    struct Case {
        const char* name;
        uint64_t callsA, callsB;
    };
    // Times are the machine's: only b's 15 ms of Work.Extra is certain to show.
    for (const Case& c : {Case{"Host.Run", 2, 3}, Case{"Work.Load", 3, 6}, Case{"Work.Extra", 0, 3}}) {
        SCOPED_TRACE(c.name);
        auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.name == c.name; });
        ASSERT_NE(row, rows.end());
        EXPECT_EQ(row->callsA, c.callsA);
        EXPECT_EQ(row->callsB, c.callsB);
        if (c.callsA == 0) {
            EXPECT_GE(row->totalB, 15.0);
        }
    }
    for (size_t i = 1; i < rows.size(); ++i)  // the largest change comes first
        EXPECT_GE(std::abs(rows[i - 1].totalB - rows[i - 1].totalA), std::abs(rows[i].totalB - rows[i].totalA));
    // Work.Extra's path is new in b: the largest growth of any path.
    const auto change = zavtrace::PathChanges(pathsA.Paths(), pathsB.Paths());
    const auto& nodes = pathsB.Paths().Nodes();
    for (size_t id = 1; id < nodes.size(); ++id) {
        EXPECT_GE(change[id], -1.0);
        EXPECT_LE(change[id], 1.0);
        if (routines.Name(nodes[id].routine) == "Work.Extra") {
            EXPECT_EQ(change[id], 1.0);
        }
    }
    zavtrace::FlameOptions flame;
    flame.change = change;
    EXPECT_NE(zavtrace::FlameGraphSvg(pathsB.Paths(), routines, flame).find("rgb(255,55,55)"), std::string::npos);
}
