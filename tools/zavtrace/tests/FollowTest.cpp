// profile --follow on a trace the library is still writing: the table keeps
// up with it across roll-overs and the tool ends cleanly on an interrupt.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "TraceScenario.h"

extern char** environ;

namespace {

// The Calls column of a routine's row in the table, -1 without the row.
long CallsIn(const std::string& path, const std::string& routine) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, routine.size() + 1, routine + " ") == 0) {
            std::istringstream fields(line.substr(routine.size()));
            long calls = -1;
            fields >> calls;
            return calls;
        }
    return -1;
}

// Waits up to 10 s for the table to show `calls` calls.
bool Shows(const std::string& path, const std::string& routine, long calls) {
    for (int i = 0; i < 200; ++i) {
        if (CallsIn(path, routine) == calls) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

TEST(FollowTest, ProfileFollowsAGrowingTraceAcrossRollOvers) {
    TempDir dir;
    const std::string table = dir.path() + "/table.txt";
    ZAVDebug trace;
    std::u16string name = u"/follow";
    name = std::u16string(dir.path().begin(), dir.path().end()) + name;
    trace.TraceStart(name.data(), 0);
    trace.MaxLogSize(3000);
    scenario::Run(trace, scenario::Sleeps{0, 0, 0, 0, 0});

    std::vector<std::string> args = {ZAVTRACE_TOOL, "profile", "--follow", "-q", "-o", table, dir.path() + "/follow.log"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child;
    ASSERT_EQ(posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    EXPECT_TRUE(Shows(table, "Host.Run", 1));
    for (int i = 0; i < 6; ++i) scenario::Run(trace, scenario::Sleeps{0, 0, 0, 0, 0});
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/follow2.log"));  // it rolled over meanwhile
    EXPECT_TRUE(Shows(table, "Host.Run", 7));
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
