// Traces as hosts write them through the library, read back where they go
// wrong most easily: threads and processes that roll over beside each other,
// nesting, recursion, messages that look like routine lines, damage, deep
// stacks, and routines still open at the end.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <functional>
#include <fstream>
#include <map>
#include <numeric>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "ChromeNesting.h"
#include "TestFiles.h"
#include "TraceScenario.h"

extern char** environ;

namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// A trace of base name dir/base written by `body`.
template <typename Body>
void Write(const std::string& dir, const std::string& base, Body body, DWORD limit = 0) {
    ZAVDebug trace;
    std::u16string name = Wide(dir + "/" + base);
    trace.TraceStart(name.data(), 0);
    if (limit != 0) trace.MaxLogSize(limit);
    body(trace);
}

void Runs(ZAVDebug& trace, int runs, int sleepMs = 0) {
    for (int i = 0; i < runs; ++i) scenario::Run(trace, scenario::Sleeps{sleepMs, 0, 0, 0, 0});
}

// Host.Run calls by (process, thread).
std::map<std::pair<uint32_t, uint32_t>, int> RunsByWriter(const ReadResult& r) {
    std::map<std::pair<uint32_t, uint32_t>, int> runs;
    for (size_t i = 0; i < r.events.calls.size(); ++i)
        if (r.Name(r.events.calls[i]) == "Host.Run") ++runs[{r.events.callTracks[i].processId, r.events.callTracks[i].threadId}];
    return runs;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

}  // namespace

// Writers that roll over beside each other under one base name: each file
// goes on in its own writer's next file, whichever files are given. Writer i
// runs the scenario RunsOf(i) times.
TEST(HostTraceTest, RolledFilesOfThreadsAndProcessesStayApart) {
    auto RunsOf = [](int writer) { return 20 + 15 * writer; };
    struct Case {
        const char* what;
        bool processes;
        bool onlyFirstFile;
    };
    for (const Case c : {Case{"threads, all files", false, false}, Case{"threads, first file", false, true},
                         Case{"processes, all files", true, false}, Case{"processes, first file", true, true}}) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        if (c.processes) {
            const std::string base = dir.path() + "/mt";
            std::vector<int> children;
            for (int i = 0; i < 2; ++i)
                children.push_back(Spawn({ZAVTRACE_SAMPLE_HOST, "--roll", base, std::to_string(RunsOf(i))}));
            for (int child : children) {
                int status = 0;
                ASSERT_GT(child, 0);
                ASSERT_EQ(waitpid(child, &status, 0), child);
                ASSERT_EQ(status, 0);
            }
        } else {
            std::vector<std::thread> writers;
            for (int i = 0; i < 2; ++i)
                writers.emplace_back([&, i] { Write(dir.path(), "mt", [&](ZAVDebug& t) { Runs(t, RunsOf(i), 1); }, 2000); });
            for (auto& w : writers) w.join();
        }
        const std::vector<std::string> all = FilesIn(dir.path());
        ASSERT_GE(all.size(), 6u);
        ReadResult r;
        ReadInto(r, c.onlyFirstFile ? std::vector<std::string>{dir.path() + "/mt.log"} : all);
        EXPECT_TRUE(r.summary.unfollowed.empty());
        EXPECT_EQ(r.summary.calls.popsWithoutPush, 0u);
        EXPECT_EQ(r.summary.calls.openAtEnd, 0u);
        std::vector<int> runs;
        for (const auto& [writer, count] : RunsByWriter(r)) runs.push_back(count);
        std::sort(runs.begin(), runs.end());
        const int total = std::accumulate(runs.begin(), runs.end(), 0);
        // Given the first file only, either writer may have taken it.
        if (c.onlyFirstFile)
            EXPECT_TRUE(runs == std::vector<int>{RunsOf(0)} || runs == std::vector<int>{RunsOf(1)});
        else
            EXPECT_EQ(runs, (std::vector<int>{RunsOf(0), RunsOf(1)}));
        // One Work.Inner per run ends without its Pop; no other call is cut.
        EXPECT_EQ(r.summary.calls.closedWithoutPop, static_cast<uint64_t>(total));
        EXPECT_EQ(r.Row("Work.Load")->calls, 3u * total);
        EXPECT_TRUE(NestingViolations(ChromeOf(all)).empty());
    }
}

// Callees inside their callers on every track, also where a Pop line's
// Dur= value disagrees with its lines (the writer takes the two at different
// instants; made extreme here).
TEST(HostTraceTest, ChromeSlicesNestOnALibraryTrace) {
    TempDir dir;
    Write(dir.path(), "nest", [&](ZAVDebug& t) {
        for (int i = 0; i < 20; ++i) {
            const LONG outer = t.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Outer"), nullptr, 1);
            const LONG inner = t.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Inner"), nullptr, -2);
            t.RoutinePop(inner, 0);
            t.RoutinePop(outer, 0);
        }
        Runs(t, 3);
    });
    const std::string written = ReadFile(dir.path() + "/nest.log");
    std::string skewed = written;
    for (size_t at = 0; (at = skewed.find("Pop  Work.Inner", at)) != std::string::npos; ++at) {
        const size_t dur = skewed.find("Dur=", at) + 4;
        skewed.replace(dur, skewed.find(' ', dur) - dur, "1000.000");
    }
    for (const auto& [what, content] : {std::pair{"as written", written}, std::pair{"skewed Dur=", skewed}}) {
        SCOPED_TRACE(what);
        EXPECT_EQ(NestingViolations(ChromeOf({dir.Write("nest-read.log", content)})), std::vector<std::string>{});
    }
}

// A routine that calls itself counts once per stack in its total.
TEST(HostTraceTest, RecursionCountsOncePerStack) {
    TempDir dir;
    Write(dir.path(), "rec", [](ZAVDebug& t) {
        std::function<void(int)> recurse = [&](int depth) {
            const LONG level = t.RoutinePush(ZAV_WIDE("Rec"), ZAV_WIDE("Walk"), nullptr, 1);
            scenario::SleepMs(2);
            if (depth > 1) recurse(depth - 1);
            t.RoutinePop(level, 0);
        };
        recurse(4);
    });
    ReadResult r;
    ReadInto(r, FilesIn(dir.path()));
    ASSERT_EQ(r.events.calls.size(), 4u);
    const zavtrace::Call& outermost = r.events.calls.back();
    EXPECT_FALSE(outermost.recursive);
    EXPECT_EQ(std::count_if(r.events.calls.begin(), r.events.calls.end(), [](auto& c) { return c.recursive; }), 3);
    ASSERT_NE(r.Row("Rec.Walk"), nullptr);
    EXPECT_EQ(r.Row("Rec.Walk")->calls, 4u);
    EXPECT_NEAR(r.Row("Rec.Walk")->totalMs, outermost.durUs / 1000.0, 0.0005);
    EXPECT_NEAR(r.Row("Rec.Walk")->selfMs, outermost.durUs / 1000.0, 0.0005);
    int64_t allUs = 0;
    for (const auto& c : r.events.calls) allUs += c.durUs;
    EXPECT_NEAR(r.Row("Rec.Walk")->meanMs, allUs / 4000.0, 0.0005);  // the mean is per call
}

// Messages whose text begins like a routine line stay messages.
TEST(HostTraceTest, MessagesThatLookLikeRoutineLines) {
    const std::vector<std::u16string> texts = {u"Push notifications sent", u"Push Queue.Item  to the backlog",
                                               u"Pop  Queue.Item  from the backlog", u"Push Queue.Head"};
    TempDir dir;
    Write(dir.path(), "msg", [&](ZAVDebug& t) {
        const LONG run = t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Run"), nullptr, 1);
        for (const auto& text : texts) t.InsertMsg(text.c_str());
        t.InsertMsg(ZAV_WIDE("after them"));
        t.RoutinePop(run, 0);
    });
    ReadResult r;
    ReadInto(r, FilesIn(dir.path()));
    ASSERT_EQ(r.events.calls.size(), 1u);
    EXPECT_EQ(r.Name(r.events.calls[0]), "Host.Run");
    EXPECT_EQ(r.summary.calls.closedWithoutPop + r.summary.calls.popsWithoutPush, 0u);
    std::vector<std::string> seen;
    for (const auto& [us, text] : r.events.messages) seen.push_back(text);
    for (const auto& text : texts)
        EXPECT_NE(std::find(seen.begin(), seen.end(), std::string(text.begin(), text.end())), seen.end());
}

// Input that is no trace, or a trace with damage inside, is said to be so.
TEST(HostTraceTest, WhatIsNoTraceIsReported) {
    TempDir dir;
    Write(dir.path(), "good", [](ZAVDebug& t) { Runs(t, 2); });
    const std::string good = ReadFile(dir.path() + "/good.log");
    std::string noise(3000, '\0');
    std::mt19937 random(7);
    for (char& c : noise) c = static_cast<char>(random());
    std::string utf16 = "\xFF\xFE";
    for (char c : good) utf16 += std::string{c, '\0'};
    const size_t middle = good.find("\r\n", good.size() / 2) + 2;
    struct Case {
        const char* what;
        std::string content;
        bool trace;
        bool damaged;
    };
    for (const Case& c : {Case{"markdown", "# A title\n\nSome text, `code`.\n", false, true},
                          Case{"UTF-16", utf16, false, true},
                          Case{"noise inside", good.substr(0, middle) + noise + "\r\n" + good.substr(middle), true, true},
                          Case{"noise in a line", good.substr(0, middle - 2) + noise + good.substr(middle - 2), true, true},
                          Case{"intact", good, true, false}}) {
        SCOPED_TRACE(c.what);
        ReadResult r;
        ReadInto(r, {dir.Write("input.txt", c.content)});
        EXPECT_EQ(r.summary.notTraces.empty(), c.trace);
        EXPECT_EQ(r.summary.garbled > 0, c.damaged) << ::testing::PrintToString(r.summary.garbledExamples);
    }
}

// A roll-over is followed however deep the stack stood, and is reported when
// its file is gone.
TEST(HostTraceTest, RollOverAtDepthAndRollOverIntoNothing) {
    for (const int depth : {1500, 5000}) {
        SCOPED_TRACE(depth);
        TempDir dir;
        Write(dir.path(), "deep", [&](ZAVDebug& t) {
            std::vector<LONG> levels;
            for (int i = 0; i < depth; ++i) levels.push_back(t.RoutinePush(ZAV_WIDE("Deep"), ZAV_WIDE("Step"), nullptr, 1));
            t.MaxLogSize(1000);  // rolls over at the next line, deep inside
            t.InsertMsg(ZAV_WIDE("at the bottom"));
            t.MaxLogSize(1u << 30);
            while (!levels.empty()) {
                t.RoutinePop(levels.back(), 0);
                levels.pop_back();
            }
        });
        ReadResult r;
        ReadInto(r, {dir.path() + "/deep.log"});
        EXPECT_EQ(r.summary.followedFiles.size(), 1u);
        EXPECT_EQ(r.summary.garbled, 0u);
        ASSERT_NE(r.Row("Deep.Step"), nullptr);
        EXPECT_EQ(r.Row("Deep.Step")->calls, static_cast<uint64_t>(depth));
        EXPECT_EQ(r.summary.calls.popsWithoutPush + r.summary.calls.openAtEnd, 0u);

        std::filesystem::remove(r.summary.followedFiles.at(0));
        ReadResult cut;
        ReadInto(cut, {dir.path() + "/deep.log"});
        EXPECT_EQ(cut.summary.unfollowed, std::vector<std::string>{dir.path() + "/deep.log"});
    }
}

// Crafted numbers in a library trace: durations are not believed, times stay in range.
TEST(HostTraceTest, CraftedNumbersAreRejected) {
    TempDir dir;
    {
        ZAVDebug t;
        // Pushed before the trace starts: only its Pop line's Dur= times it.
        const LONG early = t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Startup"), nullptr, 1);
        std::u16string name = Wide(dir.path() + "/num");
        t.TraceStart(name.data(), 0);
        Runs(t, 1);
        t.RoutinePop(early, 0);
    }
    const std::string good = ReadFile(dir.path() + "/num.log");
    const size_t dur = good.find("Dur=", good.find("Pop  Host.Startup")) + 4;
    const size_t elapsed = good.find("\r\n", good.find("Push Work.Load")) + 2 + 10;  // the field after "HH:MM:SS  "
    for (const std::string value : {"-3.000", "99999999999999999.000", "9223372036854775.807"}) {
        SCOPED_TRACE(value);
        std::string crafted = good.substr(0, dur) + value + good.substr(good.find(' ', dur));
        crafted.replace(elapsed, 8, "9223372036854.775");
        ReadResult r;
        ReadInto(r, {dir.Write("num-crafted.log", crafted)}, false);
        EXPECT_EQ(r.summary.calls.badDurations, 1u);
        EXPECT_EQ(r.summary.calls.popsWithoutPush, 1u);  // Host.Startup, still a call
        for (const auto& c : r.events.calls) EXPECT_GE(c.durUs, 0);
        for (const auto& row : r.profile.Rows(r.routines)) EXPECT_GE(row.totalMs, 0);
        EXPECT_TRUE(NestingViolations(ChromeOf({dir.path() + "/num-crafted.log"}, false)).empty());
    }
}

// A host killed inside its main routine: the routines open at the end are in the profile.
TEST(HostTraceTest, RoutinesOpenAtTheEndAreProfiled) {
    TempDir dir;
    Write(dir.path(), "open", [](ZAVDebug& t) {
        t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Main"), nullptr, 1);
        Runs(t, 1);
        scenario::SleepMs(3);
    });
    ReadResult r;
    ReadInto(r, FilesIn(dir.path()));
    ASSERT_NE(r.Row("Host.Main"), nullptr);
    EXPECT_EQ(r.Row("Host.Main")->calls, 1u);
    EXPECT_GE(r.Row("Host.Main")->totalMs, r.Row("Host.Run")->totalMs + 3);
}
