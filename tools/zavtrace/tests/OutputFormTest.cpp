// What the golden files of the frozen sample cannot show: quantiles of many
// calls, and the profile of a trace still being written.
#include <signal.h>
#include <sys/wait.h>

#include <cmath>
#include <sstream>

#include "TraceTest.h"

// Within the stated error beyond the exact limit (the golden profiles show them exact while small).
TEST(OutputFormTest, DurationQuantiles) {
    zavtrace::DurationQuantiles q;
    EXPECT_EQ(q.Quantile(0.95), 0);
    std::mt19937_64 random(11);
    std::lognormal_distribution<double> spread(7.0, 2.0);  // a long tail, as call durations have
    std::vector<int64_t> all;
    for (int i = 0; i < 200000; ++i) q.Add(all.emplace_back(i % 50 == 0 ? 0 : static_cast<int64_t>(spread(random))));
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
