// Traces as hosts write them through the library, read back where they go
// wrong most easily: threads and processes that roll over beside each other,
// nesting, recursion, messages that look like routine lines, damage, deep
// stacks, crafted numbers, and routines still open at the end.
#include <sys/wait.h>

#include <functional>
#include <map>
#include <numeric>
#include <set>

#include "TraceTest.h"

// The test program is also the host that writes traces in other processes:
//   zavtrace_tests --roll BASE RUNS   a trace that rolls over every few runs
int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--roll") {
        WriteTrace(argv[2], [&](ZAVDebug& t) { for (int i = atoi(argv[3]); i > 0; --i) RunScenario(t, 1); }, 2000);
        return 0;
    }
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
            std::vector<std::thread> threads;
            pid_t children[2];
            for (int i = 0; i < 2; ++i)
                if (processes)
                    children[i] = Spawn({"/proc/self/exe", "--roll", base, std::to_string(RunsOf(i))});
                else
                    threads.emplace_back([&, i] {
                        WriteTrace(base, [&](ZAVDebug& t) { for (int n = 0; n < RunsOf(i); ++n) RunScenario(t, 1); }, 2000);
                    });
            for (auto& t : threads) t.join();
            for (int i = 0, status = -1; processes && i < 2; ++i) {
                ASSERT_EQ(children[i] > 0 ? waitpid(children[i], &status, 0) : -1, children[i]);
                ASSERT_EQ(status, 0);
            }
            const std::vector<std::string> all = dir.Files();
            ASSERT_GE(all.size(), 6u);
            ReadResult r(onlyFirstFile ? std::vector<std::string>{base + ".log"} : all);
            EXPECT_TRUE(r.summary.unfollowed.empty());
            EXPECT_EQ(r.summary.calls.popsWithoutPush + r.summary.calls.openAtEnd, 0u);
            std::map<std::pair<uint32_t, uint32_t>, int> byWriter;  // Host.Run calls by process and thread
            for (size_t i = 0; i < r.calls.size(); ++i)
                if (r.Name(r.calls[i]) == "Host.Run") ++byWriter[{r.tracks[i].processId, r.tracks[i].threadId}];
            std::multiset<int> runs;
            for (const auto& [writer, count] : byWriter) runs.insert(count);
            // Given the first file only, either writer may have taken it.
            if (onlyFirstFile)
                EXPECT_TRUE(runs == std::multiset<int>{RunsOf(0)} || runs == std::multiset<int>{RunsOf(1)});
            else
                EXPECT_EQ(runs, (std::multiset<int>{RunsOf(0), RunsOf(1)}));
            // One Work.Inner per run ends without its Pop; no other call is cut.
            const uint64_t total = std::accumulate(runs.begin(), runs.end(), 0);
            EXPECT_EQ(r.summary.calls.closedWithoutPop, total);
            ASSERT_NE(r.Row("Work.Load"), nullptr);
            EXPECT_EQ(std::tuple(r.Row("Work.Load")->calls, r.Row("Work.Load")->nonzeroRc), std::tuple(3 * total, total));
            EXPECT_TRUE(NestingViolations(ChromeOf(all)).empty());
        }
}

// A host's trace like the sample in data/ (ZAVTRACE_SAMPLE_OUT names a folder
// to make it again in, when the format changes): begun inside a routine,
// rolled over, with messages that look like routine lines and a
// recursion, ended inside a routine; and a wrap dump. The profile shows what
// the host did, and crafted numbers in the trace are not believed.
TEST(HostTraceTest, TheProfileShowsWhatTheHostDid) {
    TempDir dir;
    const std::string out = getenv("ZAVTRACE_SAMPLE_OUT") ? getenv("ZAVTRACE_SAMPLE_OUT") : dir.path();
    const std::vector<std::u16string> texts = {u"Push notifications sent", u"Push Queue.Item  to the backlog",
                                               u"Pop  Queue.Item  from the backlog", u"Push Queue.Head",
                                               u"Push Queue.Tail  " + std::u16string(150, u'.')};
    // Memory lines only in the sample: the reader takes a process's bytes as
    // 32-bit, which a sanitizer's reservations overrun.
    ZAV_MonitorMemory = out != dir.path();
    {
        ZAVDebug t;
        const LONG early = t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Startup"), nullptr, 1);  // before the trace
        Start(t, out + "/sample");
        t.MaxLogSize(1500);
        SleepMs(1);
        t.RoutinePop(early, 0);
        RunScenario(t, 5, 10);
        ZAV_MemoryFree(ZAV_MemoryGet(4096, 0));
        const LONG notify = t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Notify"), nullptr, 1);
        for (const auto& text : texts) t.InsertMsg(text.c_str());
        t.InsertMsg(ZAV_WIDE("after them"));
        t.RoutinePop(notify, 0);
        std::function<void(int)> recurse = [&](int depth) {
            const LONG level = t.RoutinePush(ZAV_WIDE("Rec"), ZAV_WIDE("Walk"), nullptr, 1);
            SleepMs(2);
            if (depth > 1) recurse(depth - 1);
            t.RoutinePop(level, 0);
        };
        recurse(4);
        t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Shutdown"), nullptr, 1);
        SleepMs(3);
    }
    ZAV_MonitorMemory = 0;
    const std::string wrapFile = WriteTrace(out + "/sample-wrap", [](ZAVDebug& t) {
        for (int i = 0; i < 4; ++i) RunScenario(t, 1, 1);
        std::u16string title = u"Saved lines before the failure";
        t.TraceDumpWrap(title.data());
    }, 0, 1024);
    const std::string first = out + "/sample.log";
    ReadResult r({first});  // and the files it rolled over into
    const auto& n = r.summary.calls;
    EXPECT_GE(r.summary.files, 2u);
    EXPECT_EQ(r.summary.garbled + r.summary.torn, 0u);
    // Host.Startup, its time cut to the trace object's life; Work.Inner, popped with Work.Fail; Host.Shutdown.
    EXPECT_EQ(std::tuple(n.popsWithoutPush, n.cutPops, n.closedWithoutPop, n.openAtEnd), std::tuple(1u, 1u, 1u, 1u));
    std::set<std::string> names, seen;  // messages that look like routine lines stay messages
    for (const auto& row : r.profile.Rows(r.routines)) names.insert(row.name);
    EXPECT_EQ(names, (std::set<std::string>{"Host.Notify", "Host.Run", "Host.Shutdown", "Host.Startup", "Rec.Walk",
                                            "Work.Fail", "Work.Inner", "Work.Load", "Work.Parse", "Work.Save"}));
    for (const auto& [us, text] : r.messages) seen.insert(text);
    for (const auto& text : texts) EXPECT_EQ(seen.count(std::string(text.begin(), text.end())), 1u);

    const auto *run = r.Row("Host.Run"), *load = r.Row("Work.Load"), *parse = r.Row("Work.Parse");
    const auto *save = r.Row("Work.Save"), *fail = r.Row("Work.Fail"), *end = r.Row("Host.Shutdown");
    EXPECT_EQ(std::tuple(end->calls, run->calls, load->calls, parse->calls), std::tuple(1u, 1u, 3u, 3u));
    EXPECT_GE(end->totalMs, 3);  // timed to the last line, as a killed host's main routine is
    EXPECT_GE(load->selfMs, 3 * 10.0);  // the sleeps; a busy machine only makes calls longer
    EXPECT_NEAR(load->selfMs, load->totalMs - parse->totalMs, 0.0015);
    const double callees = load->totalMs + save->totalMs + fail->totalMs;
    EXPECT_GE(run->totalMs, callees + 5);
    EXPECT_NEAR(run->selfMs, run->totalMs - callees, 0.0015);
    // A routine that calls itself counts once per stack in its total, and in its mean once per call.
    std::vector<zavtrace::Call> walks;  // the outermost last
    int64_t allUs = 0;
    for (const auto& c : r.calls)
        if (r.Name(c) == "Rec.Walk") walks.push_back(c), allUs += c.durUs;
    ASSERT_EQ(walks.size(), 4u);
    EXPECT_EQ(std::count_if(walks.begin(), walks.end(), [](auto& c) { return c.recursive; }), 3);
    EXPECT_FALSE(walks.back().recursive);
    const auto* walk = r.Row("Rec.Walk");
    EXPECT_NEAR(walk->totalMs, walks.back().durUs / 1000.0, 0.0005);
    EXPECT_NEAR(walk->selfMs, walks.back().durUs / 1000.0, 0.0005);
    EXPECT_NEAR(walk->meanMs, allUs / 4000.0, 0.0005);

    // The wrap dump's calls are on its own track; of the oldest lines, overwritten,
    // at most one Pop per level lost its Push.
    ReadResult wrap({wrapFile});
    ASSERT_FALSE(wrap.calls.empty());
    for (const auto& t : wrap.tracks) EXPECT_TRUE(t.wrapDump);
    EXPECT_LE(wrap.summary.calls.popsWithoutPush, 3u);
    EXPECT_EQ(wrap.summary.garbled + wrap.summary.calls.openAtEnd, 0u);

    // Callees stay inside their callers where a Pop line's Dur= disagrees with
    // its lines (the writer takes the two at different instants; made extreme here).
    const std::string good = ReadFile(first);
    std::string skewed = good;
    for (size_t at = 0; (at = skewed.find("Pop  Work.Parse", at)) != std::string::npos; ++at) {
        const size_t dur = skewed.find("Dur=", at) + 4;
        skewed.replace(dur, skewed.find(' ', dur) - dur, "1000.000");
    }
    EXPECT_EQ(NestingViolations(ChromeOf({dir.Write("skewed.log", skewed)})), std::vector<std::string>{});

    // Crafted numbers: Host.Startup's Dur=, which alone times it, and an elapsed field.
    const size_t dur = good.find("Dur=", good.find("Pop  Host.Startup")) + 4;
    const size_t elapsed = good.find("\r\n", good.find("Push Work.Load")) + 2 + 10;  // the field after "HH:MM:SS  "
    for (const std::string value : {"-3.000", "99999999999999999.000", "9223372036854775.807"}) {
        SCOPED_TRACE(value);
        std::string crafted = good;
        crafted.replace(elapsed, 8, "9223372036854.775").replace(dur, good.find(' ', dur) - dur, value);
        ReadResult c({dir.Write("crafted.log", crafted)}, false);
        EXPECT_EQ(std::tuple(c.summary.calls.badDurations, c.summary.calls.popsWithoutPush), std::tuple(1u, 1u));
        for (const auto& call : c.calls) EXPECT_GE(call.durUs, 0);
        for (const auto& row : c.profile.Rows(c.routines)) EXPECT_GE(row.totalMs, 0);
    }
}

// Input that is no trace, or a trace with damage inside, is said to be so.
TEST(HostTraceTest, WhatIsNoTraceIsReported) {
    TempDir dir;
    const std::string good = ReadFile(WriteTrace(dir.path() + "/good", [](ZAVDebug& t) { RunScenario(t), RunScenario(t); }));
    std::string noise(3000, '\0'), utf16 = "\xFF\xFE";
    std::mt19937 random(7);
    for (char& c : noise) c = static_cast<char>(random());
    for (char c : good) utf16 += std::string{c, '\0'};
    const size_t middle = good.find("done\r\n") + 6;  // after a message line
    // What, its content, whether it is a trace, whether damaged.
    for (const auto& [what, content, trace, damaged] : std::vector<std::tuple<std::string, std::string, bool, bool>>{
             {"markdown", "# A title\n\nSome text, `code`.\n", false, true}, {"UTF-16", utf16, false, true},
             {"noise inside", good.substr(0, middle) + noise + "\r\n" + good.substr(middle), true, true},
             {"noise in a line", good.substr(0, middle - 2) + noise + good.substr(middle - 2), true, true},
             {"intact", good, true, false}}) {
        ReadResult r({dir.Write("input.txt", content)});
        EXPECT_EQ(r.summary.notTraces.empty(), trace) << what;
        EXPECT_EQ(r.summary.garbled > 0, damaged) << what << ::testing::PrintToString(r.summary.garbledExamples);
    }
}

// A roll-over is followed however deep the stack stood, and is reported when
// its file is gone.
TEST(HostTraceTest, RollOverAtDepthAndRollOverIntoNothing) {
    for (const int depth : {1500, 5000}) {
        SCOPED_TRACE(depth);
        TempDir dir;
        const std::string first = WriteTrace(dir.path() + "/deep", [&](ZAVDebug& t) {
            for (int i = 0; i < depth; ++i) t.RoutinePush(ZAV_WIDE("Deep"), ZAV_WIDE("Step"), nullptr, 1);
            t.MaxLogSize(1000);  // rolls over at the next line, deep inside
            t.InsertMsg(ZAV_WIDE("at the bottom"));
            t.MaxLogSize(1u << 30);
            for (int i = 0; i < depth; ++i) t.RoutinePop(-1, 0);  // the innermost
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
