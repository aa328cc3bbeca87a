// The output forms over the frozen sample: the chrome trace against the
// trace event format's required fields, the folded stacks against the
// profile, the profile's quantiles against exact ones, and the profile of a
// trace still being written.
#include <signal.h>
#include <sys/wait.h>

#include <cmath>
#include <map>
#include <sstream>

#include "CallPaths.h"
#include "TraceTest.h"

namespace {

const std::vector<std::string> kSample = {ZAVTRACE_DATA "/sample.log", ZAVTRACE_DATA "/sample1.log",
                                          ZAVTRACE_DATA "/sample-wrap.log"};

}  // namespace

// Every event has the fields its type requires; a leaner timeline leaves out
// what it is asked to, and only that.
TEST(OutputFormTest, ChromeEventsAndWhatALeanerTimelineLeavesOut) {
    std::map<std::string, int> full;
    for (const bool messages : {true, false})
        for (const bool counters : {true, false}) {
            SCOPED_TRACE(std::to_string(messages) + std::to_string(counters));
            std::map<std::string, int> kinds;  // by category
            bool wrapTrack = false;
            const auto doc = ChromeOf(kSample, true, zavtrace::ChromeOptions{messages, counters});
            for (auto e : doc["traceEvents"]) {  // a copy: asking for a field it lacks gives null
                ASSERT_TRUE(e["name"].is_string() && e["ph"].is_string() && e["ts"].is_number()) << e;
                ASSERT_TRUE(e["pid"].is_number_integer() && e["tid"].is_number_integer()) << e;
                const std::string ph = e["ph"];
                const std::map<std::string, bool> required = {
                    {"X", e["dur"].is_number()},
                    {"i", e["s"] == "t" || e["s"] == "p" || e["s"] == "g"},
                    {"C", e["args"].is_object() && !e["args"].empty() &&
                              std::all_of(e["args"].begin(), e["args"].end(), [](auto& v) { return v.is_number(); })},
                    {"M", (e["name"] == "process_name" || e["name"] == "thread_name") && e["args"]["name"].is_string()}};
                ASSERT_TRUE(required.count(ph) && required.at(ph)) << e;
                ++kinds[ph == "C" ? "counter" : e.value("cat", std::string("metadata"))];
                wrapTrack |= ph == "X" && e["tid"] == zavtrace::ChromeTraceSink::kWrapThread;
            }
            EXPECT_TRUE(wrapTrack);  // the wrap dump has a track of its own in the writing process
            if (messages && counters) {
                full = kinds;
                EXPECT_GT(full["message"] * full["counter"] * full["routine"], 0) << ::testing::PrintToString(full);
                continue;
            }
            EXPECT_EQ(kinds["message"], messages ? full["message"] : 0);
            EXPECT_EQ(kinds["counter"], counters ? full["counter"] : 0);
            EXPECT_EQ(std::tuple(kinds["routine"], kinds["marker"]), std::tuple(full["routine"], full["marker"]));
        }
}

TEST(OutputFormTest, FoldedSelfTimesAddUpToTheProfile) {
    zavtrace::RoutineTable routines;
    zavtrace::ProfileSink profile;
    zavtrace::StackTree paths;
    zavtrace::TraceReader(routines, profile, &paths).Read(kSample);
    FILE* out = tmpfile();
    zavtrace::WriteFoldedStacks(out, paths, routines);
    std::istringstream folded(ReadAll(out));
    std::map<std::string, int64_t> selfByLeaf;
    for (std::string line; std::getline(folded, line);) {
        const size_t space = line.rfind(' '), semicolon = line.rfind(';', space);
        const size_t leaf = semicolon == std::string::npos ? 0 : semicolon + 1;
        selfByLeaf[line.substr(leaf, space - leaf)] += std::stoll(line.substr(space + 1));
    }
    const auto rows = profile.Rows(routines);
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) EXPECT_NEAR(selfByLeaf[row.name] / 1000.0, row.selfMs, 0.0005) << row.name;
}

// Exact by nearest rank while small, within the stated error beyond.
TEST(OutputFormTest, DurationQuantiles) {
    zavtrace::DurationQuantiles small;
    EXPECT_EQ(small.Quantile(0.95), 0);
    for (int us : {50, 10, 40, 20, 30}) small.Add(us);
    EXPECT_EQ(std::tuple(small.Quantile(0.95), small.Quantile(0.5), small.Quantile(0.2)), std::tuple(50, 30, 10));
    std::mt19937_64 random(11);
    std::lognormal_distribution<double> spread(7.0, 2.0);  // a long tail, as call durations have
    std::vector<int64_t> all;
    zavtrace::DurationQuantiles q;
    for (int i = 0; i < 200000; ++i) {
        all.push_back(i % 50 == 0 ? 0 : static_cast<int64_t>(spread(random)));
        q.Add(all.back());
    }
    std::sort(all.begin(), all.end());
    for (double p : {0.5, 0.9, 0.95, 0.99, 1.0}) {
        const int64_t exact = all[static_cast<size_t>(std::ceil(p * all.size())) - 1];
        EXPECT_NEAR(q.Quantile(p), exact, exact * zavtrace::DurationQuantiles::kRelativeError + 1) << p;
    }
    EXPECT_EQ(q.Quantile(0.01), 0);  // 2 % of the calls took under a microsecond
}

// profile --follow on a trace the library is still writing: the table keeps
// up with it across roll-overs and the tool ends cleanly on an interrupt.
TEST(OutputFormTest, ProfileFollowsAGrowingTraceAcrossRollOvers) {
    TempDir dir;
    const std::string table = dir.path() + "/table.txt";
    // Waits up to 10 s for the table's Calls column to show `calls` runs.
    const auto shows = [&](long calls) {
        for (int i = 0; i < 200; SleepMs(50), ++i) {
            std::ifstream in(table);
            for (std::string line; std::getline(in, line);)
                if (long n = -1; line.rfind("Host.Run ", 0) == 0 && std::istringstream(line.substr(9)) >> n && n == calls)
                    return true;
        }
        return false;
    };
    ZAVDebug trace;
    Start(trace, dir.path() + "/follow");
    trace.MaxLogSize(3000);
    RunScenario(trace);
    const pid_t child = Spawn({ZAVTRACE_TOOL, "profile", "--follow", "-q", "-o", table, dir.path() + "/follow.log"});
    ASSERT_GT(child, 0);
    EXPECT_TRUE(shows(1));
    for (int i = 0; i < 6; ++i) RunScenario(trace);
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/follow2.log"));  // it rolled over meanwhile
    EXPECT_TRUE(shows(7));
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
