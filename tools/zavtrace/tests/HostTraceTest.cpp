// Traces as hosts write them through the library, read back where they go
// wrong most easily: threads and processes that roll over beside each other,
// nesting, recursion, messages that look like routine lines, damage, deep
// stacks, crafted numbers, and routines still open at the end.
#include <sys/wait.h>

#include <functional>
#include <map>
#include <numeric>

#include "TraceTest.h"

namespace {

// The checked-in sample in data/: a trace that begins inside a routine,
// rolls over, takes memory and ends with a routine open; and a wrap dump.
void WriteSample(const std::string& dir) {
    ZAV_MonitorMemory = 1;
    {
        ZAVDebug trace;
        const LONG early = trace.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Startup"), nullptr, 1);  // before the trace
        Start(trace, dir + "/sample");
        trace.MaxLogSize(1500);
        SleepMs(1);
        trace.RoutinePop(early, 0);
        RunScenario(trace, 2, 3);
        ZAV_MemoryFree(ZAV_MemoryGet(4096, 0));
        trace.InsertMsg(ZAV_WIDE("a block of 4096 bytes taken and given back"));
        trace.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Shutdown"), nullptr, 1);
        SleepMs(1);
    }
    WriteTrace(dir + "/sample-wrap", [](ZAVDebug& t) {
        for (int i = 0; i < 4; ++i) RunScenario(t, 1, 1);
        std::u16string title = u"Saved lines before the failure";
        t.TraceDumpWrap(title.data());
    }, 0, 1024);
}

}  // namespace

// The test program is also the host that writes traces in other processes:
//   zavtrace_tests --roll BASE RUNS   a trace that rolls over every few runs
//   zavtrace_tests --sample DIR       the sample in data/, made again when the format changes
int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--roll") {
        WriteTrace(argv[2], [&](ZAVDebug& t) { for (int i = atoi(argv[3]); i > 0; --i) RunScenario(t, 1); }, 2000);
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--sample") return WriteSample(argv[2]), 0;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Writers that roll over beside each other under one base name: each file
// goes on in its own writer's next file, whichever files are given. Writer i
// runs the scenario RunsOf(i) times.
TEST(HostTraceTest, RolledFilesOfThreadsAndProcessesStayApart) {
    auto RunsOf = [](int writer) { return 20 + 15 * writer; };
    for (const bool processes : {false, true})
        for (const bool onlyFirstFile : {false, true}) {
            SCOPED_TRACE(std::string(processes ? "processes" : "threads") + (onlyFirstFile ? ", first file" : ""));
            TempDir dir;
            const std::string base = dir.path() + "/mt";
            if (processes) {
                pid_t children[2];
                for (int i = 0; i < 2; ++i) children[i] = Spawn({"/proc/self/exe", "--roll", base, std::to_string(RunsOf(i))});
                for (pid_t child : children) {
                    int status = -1;
                    ASSERT_EQ(child > 0 ? waitpid(child, &status, 0) : -1, child);
                    ASSERT_EQ(status, 0);
                }
            } else {
                std::vector<std::thread> writers;
                for (int i = 0; i < 2; ++i)
                    writers.emplace_back([&, i] {
                        WriteTrace(base, [&](ZAVDebug& t) { for (int n = 0; n < RunsOf(i); ++n) RunScenario(t, 1); }, 2000);
                    });
                for (auto& w : writers) w.join();
            }
            const std::vector<std::string> all = dir.Files();
            ASSERT_GE(all.size(), 6u);
            ReadResult r(onlyFirstFile ? std::vector<std::string>{base + ".log"} : all);
            EXPECT_TRUE(r.summary.unfollowed.empty());
            EXPECT_EQ(r.summary.calls.popsWithoutPush + r.summary.calls.openAtEnd, 0u);
            std::map<std::pair<uint32_t, uint32_t>, int> byWriter;  // Host.Run calls by process and thread
            for (size_t i = 0; i < r.calls.size(); ++i)
                if (r.Name(r.calls[i]) == "Host.Run") ++byWriter[{r.tracks[i].processId, r.tracks[i].threadId}];
            std::vector<int> runs;
            for (const auto& [writer, count] : byWriter) runs.push_back(count);
            std::sort(runs.begin(), runs.end());
            // Given the first file only, either writer may have taken it.
            if (onlyFirstFile)
                EXPECT_TRUE(runs == std::vector<int>{RunsOf(0)} || runs == std::vector<int>{RunsOf(1)});
            else
                EXPECT_EQ(runs, (std::vector<int>{RunsOf(0), RunsOf(1)}));
            // One Work.Inner per run ends without its Pop; no other call is cut.
            const uint64_t total = std::accumulate(runs.begin(), runs.end(), 0);
            EXPECT_EQ(r.summary.calls.closedWithoutPop, total);
            ASSERT_NE(r.Row("Work.Load"), nullptr);
            EXPECT_EQ(std::tuple(r.Row("Work.Load")->calls, r.Row("Work.Load")->nonzeroRc), std::tuple(3 * total, total));
            EXPECT_TRUE(NestingViolations(ChromeOf(all)).empty());
        }
}

// Callees inside their callers on every track, also where a Pop line's
// Dur= value disagrees with its lines (the writer takes the two at different
// instants; made extreme here).
TEST(HostTraceTest, ChromeSlicesNestOnALibraryTrace) {
    TempDir dir;
    const std::string written = ReadFile(WriteTrace(dir.path() + "/nest", [&](ZAVDebug& t) {
        for (int i = 0; i < 20; ++i) {
            const LONG outer = t.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Outer"), nullptr, 1);
            t.RoutinePop(t.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Inner"), nullptr, -2), 0);
            t.RoutinePop(outer, 0);
        }
        RunScenario(t);
    }));
    std::string skewed = written;
    for (size_t at = 0; (at = skewed.find("Pop  Work.Inner", at)) != std::string::npos; ++at) {
        const size_t dur = skewed.find("Dur=", at) + 4;
        skewed.replace(dur, skewed.find(' ', dur) - dur, "1000.000");
    }
    for (const std::string& content : {written, skewed})
        EXPECT_EQ(NestingViolations(ChromeOf({dir.Write("nest-read.log", content)})), std::vector<std::string>{});
}

// A routine that calls itself counts once per stack in its total, and in its mean once per call.
TEST(HostTraceTest, RecursionCountsOncePerStack) {
    TempDir dir;
    ReadResult r({WriteTrace(dir.path() + "/rec", [](ZAVDebug& t) {
        std::function<void(int)> recurse = [&](int depth) {
            const LONG level = t.RoutinePush(ZAV_WIDE("Rec"), ZAV_WIDE("Walk"), nullptr, 1);
            SleepMs(2);
            if (depth > 1) recurse(depth - 1);
            t.RoutinePop(level, 0);
        };
        recurse(4);
    })});
    ASSERT_EQ(r.calls.size(), 4u);
    const zavtrace::Call& outermost = r.calls.back();
    EXPECT_FALSE(outermost.recursive);
    EXPECT_EQ(std::count_if(r.calls.begin(), r.calls.end(), [](auto& c) { return c.recursive; }), 3);
    const auto* row = r.Row("Rec.Walk");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->calls, 4u);
    EXPECT_NEAR(row->totalMs, outermost.durUs / 1000.0, 0.0005);
    EXPECT_NEAR(row->selfMs, outermost.durUs / 1000.0, 0.0005);
    int64_t allUs = 0;
    for (const auto& c : r.calls) allUs += c.durUs;
    EXPECT_NEAR(row->meanMs, allUs / 4000.0, 0.0005);
}

// Messages whose text begins like a routine line stay messages.
TEST(HostTraceTest, MessagesThatLookLikeRoutineLines) {
    const std::vector<std::u16string> texts = {u"Push notifications sent", u"Push Queue.Item  to the backlog",
                                               u"Pop  Queue.Item  from the backlog", u"Push Queue.Head"};
    TempDir dir;
    ReadResult r({WriteTrace(dir.path() + "/msg", [&](ZAVDebug& t) {
        const LONG run = t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Run"), nullptr, 1);
        for (const auto& text : texts) t.InsertMsg(text.c_str());
        t.InsertMsg(ZAV_WIDE("after them"));
        t.RoutinePop(run, 0);
    })});
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.Name(r.calls[0]), "Host.Run");
    EXPECT_EQ(r.summary.calls.closedWithoutPop + r.summary.calls.popsWithoutPush, 0u);
    std::vector<std::string> seen;
    for (const auto& [us, text] : r.messages) seen.push_back(text);
    for (const auto& text : texts)
        EXPECT_NE(std::find(seen.begin(), seen.end(), std::string(text.begin(), text.end())), seen.end());
}

// Input that is no trace, or a trace with damage inside, is said to be so; a
// wrap dump's calls are on its own track, at most one Pop per level without its Push.
TEST(HostTraceTest, WhatIsNoTraceIsReported) {
    TempDir dir;
    const std::string good = ReadFile(WriteTrace(dir.path() + "/good", [](ZAVDebug& t) { RunScenario(t), RunScenario(t); }));
    const std::string wrap = ReadFile(WriteTrace(dir.path() + "/wrap", [](ZAVDebug& t) {
        for (int i = 0; i < 5; ++i) RunScenario(t);
        t.TraceDumpWrap(nullptr);
    }, 0, 4096));
    std::string noise(3000, '\0'), utf16 = "\xFF\xFE";
    std::mt19937 random(7);
    for (char& c : noise) c = static_cast<char>(random());
    for (char c : good) utf16 += std::string{c, '\0'};
    const size_t middle = good.find("\r\n", good.size() / 2) + 2;
    struct Case {
        const char* what;
        std::string content;
        bool trace, damaged;
    };
    for (const Case& c : {Case{"markdown", "# A title\n\nSome text, `code`.\n", false, true}, Case{"UTF-16", utf16, false, true},
                          Case{"noise inside", good.substr(0, middle) + noise + "\r\n" + good.substr(middle), true, true},
                          Case{"noise in a line", good.substr(0, middle - 2) + noise + good.substr(middle - 2), true, true},
                          Case{"intact", good, true, false}, Case{"wrap dump", wrap, true, false}}) {
        SCOPED_TRACE(c.what);
        ReadResult r({dir.Write("input.txt", c.content)});
        EXPECT_EQ(r.summary.notTraces.empty(), c.trace);
        EXPECT_EQ(r.summary.garbled > 0, c.damaged) << ::testing::PrintToString(r.summary.garbledExamples);
        if (c.content != wrap) continue;
        ASSERT_FALSE(r.calls.empty());
        for (const auto& t : r.tracks) EXPECT_TRUE(t.wrapDump);
        EXPECT_LE(r.summary.calls.popsWithoutPush, 3u);
        EXPECT_EQ(r.summary.calls.openAtEnd, 0u);
    }
}

// A roll-over is followed however deep the stack stood, and is reported when
// its file is gone.
TEST(HostTraceTest, RollOverAtDepthAndRollOverIntoNothing) {
    for (const int depth : {1500, 5000}) {
        SCOPED_TRACE(depth);
        TempDir dir;
        const std::string first = WriteTrace(dir.path() + "/deep", [&](ZAVDebug& t) {
            std::vector<LONG> levels;
            for (int i = 0; i < depth; ++i) levels.push_back(t.RoutinePush(ZAV_WIDE("Deep"), ZAV_WIDE("Step"), nullptr, 1));
            t.MaxLogSize(1000);  // rolls over at the next line, deep inside
            t.InsertMsg(ZAV_WIDE("at the bottom"));
            t.MaxLogSize(1u << 30);
            for (; !levels.empty(); levels.pop_back()) t.RoutinePop(levels.back(), 0);
        });
        ReadResult r({first});
        EXPECT_EQ(r.summary.followedFiles.size(), 1u);
        EXPECT_EQ(r.summary.garbled + r.summary.calls.popsWithoutPush + r.summary.calls.openAtEnd, 0u);
        ASSERT_NE(r.Row("Deep.Step"), nullptr);
        EXPECT_EQ(r.Row("Deep.Step")->calls, static_cast<uint64_t>(depth));

        std::filesystem::remove(r.summary.followedFiles.at(0));
        EXPECT_EQ(ReadResult({first}).summary.unfollowed, std::vector<std::string>{first});
    }
}

// Crafted numbers in a library trace: durations are not believed, times stay in range.
TEST(HostTraceTest, CraftedNumbersAreRejected) {
    TempDir dir;
    {
        ZAVDebug t;
        // Pushed before the trace starts: only its Pop line's Dur= times it.
        const LONG early = t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Startup"), nullptr, 1);
        Start(t, dir.path() + "/num");
        RunScenario(t);
        t.RoutinePop(early, 0);
    }
    const std::string good = ReadFile(dir.path() + "/num.log");
    const size_t dur = good.find("Dur=", good.find("Pop  Host.Startup")) + 4;
    const size_t elapsed = good.find("\r\n", good.find("Push Work.Load")) + 2 + 10;  // the field after "HH:MM:SS  "
    for (const std::string value : {"-3.000", "99999999999999999.000", "9223372036854775.807"}) {
        SCOPED_TRACE(value);
        std::string crafted = good.substr(0, dur) + value + good.substr(good.find(' ', dur));
        crafted.replace(elapsed, 8, "9223372036854.775");
        ReadResult r({dir.Write("num-crafted.log", crafted)}, false);
        EXPECT_EQ(r.summary.calls.badDurations, 1u);
        EXPECT_EQ(r.summary.calls.popsWithoutPush, 1u);  // Host.Startup, still a call
        for (const auto& c : r.calls) EXPECT_GE(c.durUs, 0);
        for (const auto& row : r.profile.Rows(r.routines)) EXPECT_GE(row.totalMs, 0);
    }
}

// A host killed inside its main routine: the routines open at the end are in
// the profile, which shows the nesting, sleeps and return codes the host made.
TEST(HostTraceTest, RoutinesOpenAtTheEndAreProfiled) {
    constexpr double kSlackMs = 250;  // sleeps only ever make a call longer; this covers a busy machine
    TempDir dir;
    ReadResult r({WriteTrace(dir.path() + "/open", [](ZAVDebug& t) {
        t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Main"), nullptr, 1);
        RunScenario(t, 5, 10);
        SleepMs(3);
    })});
    EXPECT_EQ(r.summary.garbled + r.summary.torn + r.summary.calls.popsWithoutPush, 0u);
    EXPECT_EQ(std::tuple(r.summary.calls.closedWithoutPop, r.summary.calls.openAtEnd), std::tuple(1u, 1u));  // Work.Inner; Host.Main
    const auto *main = r.Row("Host.Main"), *run = r.Row("Host.Run"), *load = r.Row("Work.Load"), *parse = r.Row("Work.Parse");
    const auto *save = r.Row("Work.Save"), *fail = r.Row("Work.Fail");
    ASSERT_TRUE(main && run && load && parse && save && fail);
    EXPECT_EQ(r.rows.front().name, "Host.Main");  // the longest total comes first
    EXPECT_EQ(main->calls, 1u);
    EXPECT_GE(main->totalMs, run->totalMs + 3);
    EXPECT_EQ(std::tuple(run->nonzeroRc, load->nonzeroRc, save->nonzeroRc, fail->nonzeroRc), std::tuple(0u, 1u, 0u, 1u));
    EXPECT_EQ(std::tuple(load->calls, parse->calls), std::tuple(3u, 3u));
    EXPECT_GE(load->selfMs, 3 * 10.0);
    EXPECT_LT(load->selfMs, 3 * 10.0 + kSlackMs);
    EXPECT_NEAR(load->selfMs, load->totalMs - parse->totalMs, 0.0015);
    EXPECT_EQ(load->p95Ms, load->maxMs);  // the 3rd of 3 by nearest rank
    const double callees = load->totalMs + save->totalMs + fail->totalMs;
    EXPECT_GE(run->totalMs, callees + 5);
    EXPECT_NEAR(run->selfMs, run->totalMs - callees, 0.0015);
}
