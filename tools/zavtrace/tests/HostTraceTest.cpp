// Traces as hosts write them through the library, read back where they go
// wrong most easily: threads and processes that roll over beside each other,
// nesting, recursion, messages that look like routine lines, deep stacks,
// crafted numbers, routines still open at the end, and a profile that
// follows a trace still being written.
#include <signal.h>
#include <sys/wait.h>

#include <set>

#include "TraceTest.h"

// Writers that roll over beside each other under one base name: each file
// goes on in its own writer's next file, whichever files are given. The
// writers run the scenario 20 and 35 times, so that a splice shows in the counts.
TEST(HostTraceTest, RolledFilesOfThreadsAndProcessesStayApart) {
    for (const bool processes : {false, true}) {
        TempDir dir;
        // A trace that rolls over every few of its `runs` runs.
        const auto roll = [base = dir.path + "/mt"](int runs) {
            WriteTrace(base, [&](ZAVDebug& t) { for (int i = 0; i < runs; ++i) RunScenario(t, 1); }, 2000);
        };
        if (processes) {
            for (const int runs : {20, 35})
                if (fork() == 0) {
                    roll(runs);
                    _exit(0);
                }
            while (wait(nullptr) > 0) {}
        } else {
            std::thread other(roll, 35);
            roll(20);
            other.join();
        }
        // Given the first file only, either writer may have taken it.
        for (const bool onlyFirstFile : {false, true}) {
            SCOPED_TRACE(std::string(processes ? "processes" : "threads") + (onlyFirstFile ? ", first file" : ""));
            ReadResult r(onlyFirstFile ? std::vector<std::string>{dir.path + "/mt.log"} : dir.Files());
            std::map<std::pair<uint32_t, uint32_t>, int> byWriter;  // Host.Run calls by process and thread
            for (size_t i = 0; i < r.calls.size(); ++i)
                if (r.routines.Name(r.calls[i].routine) == "Host.Run")
                    ++byWriter[{r.tracks[i].processId, r.tracks[i].threadId}];
            std::set<int> runs;
            for (const auto& [writer, count] : byWriter) runs.insert(count);
            EXPECT_TRUE((onlyFirstFile ? runs == std::set{20} || runs == std::set{35} : runs == std::set{20, 35}));
            // One Work.Inner per run ends without its Pop; no other call is cut, and every file is followed.
            const auto& n = r.summary.calls;
            EXPECT_EQ(std::tuple(n.closedWithoutPop, n.popsWithoutPush + n.openAtEnd, r.summary.unfollowed.size()),
                      std::tuple(r.Row("Host.Run").calls, 0u, 0u));
        }
    }
}

// A host's trace like the sample in data/ (ZAVTRACE_SAMPLE_OUT names a folder
// to make it again in, when the format changes): begun inside a routine,
// rolled over, with memory lines, messages that look like routine lines and
// a recursion, ended inside a routine; and a wrap dump. The profile shows
// what the host did, and crafted numbers in the trace are not believed.
TEST(HostTraceTest, TheProfileShowsWhatTheHostDid) {
    TempDir dir;
    const std::string out = getenv("ZAVTRACE_SAMPLE_OUT") ? getenv("ZAVTRACE_SAMPLE_OUT") : dir.path;
    ZAV_MonitorMemory = 1;
    {
        ZAVDebug t;
        const LONG early = t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Startup"), nullptr, 1);  // before the trace
        const std::u16string name(out.begin(), out.end());
        t.TraceStart((name + u"/sample").data(), 0);
        t.MaxLogSize(1500);
        usleep(1000);
        t.RoutinePop(early, 0);
        RunScenario(t, 5, 10);
        ZAV_MemoryFree(ZAV_MemoryGet(4096, 0));
        const LONG notify = t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Notify"), nullptr, 1);
        for (const auto& text : std::vector<std::u16string>{u"Push notifications sent", u"Push Queue.Item  to the backlog",
                                                          u"Pop  Queue.Item  from the backlog", u"Push Queue.Head",
                                                          u"Push Queue.Tail  " + std::u16string(150, u'.'), u"after them"})
            t.InsertMsg(text.c_str());
        t.RoutinePop(notify, 0);
        for (int depth = 0; depth < 4; ++depth) {
            t.RoutinePush(ZAV_WIDE("Rec"), ZAV_WIDE("Walk"), nullptr, 1);
            usleep(2000);
        }
        for (int depth = 0; depth < 4; ++depth) t.RoutinePop(-1, 0);  // the innermost
        t.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Shutdown"), nullptr, 1);
        usleep(3000);
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
    EXPECT_EQ(std::tuple(r.summary.files >= 2, r.summary.garbled + r.summary.torn, r.memory.empty()),
              std::tuple(true, 0u, false));
    // Host.Startup, its time cut to the trace object's life; Work.Inner, popped with Work.Fail; Host.Shutdown.
    EXPECT_EQ(std::tuple(n.popsWithoutPush, n.cutPops, n.closedWithoutPop, n.openAtEnd), std::tuple(1u, 1u, 1u, 1u));
    std::set<std::string> names;  // messages that look like routine lines stay messages
    for (const auto& row : r.rows) names.insert(row.name);
    EXPECT_EQ(names, (std::set<std::string>{"Host.Notify", "Host.Run", "Host.Shutdown", "Host.Startup", "Rec.Walk",
                                            "Work.Fail", "Work.Inner", "Work.Load", "Work.Parse", "Work.Save"}));
    // A routine that calls itself counts once per stack in its total, and in its mean once per call.
    int64_t outerUs = 0, allUs = 0;
    for (const auto& c : r.calls)
        if (r.routines.Name(c.routine) == "Rec.Walk") {
            outerUs = c.durUs;  // the outermost call ends last
            allUs += c.durUs;
        }
    EXPECT_NEAR(r.Row("Rec.Walk").totalMs, outerUs / 1000.0, 0.0005);
    EXPECT_NEAR(r.Row("Rec.Walk").selfMs, outerUs / 1000.0, 0.0005);
    EXPECT_NEAR(r.Row("Rec.Walk").meanMs, allUs / 4000.0, 0.0005);

    // The wrap dump's calls are read whole: none is cut short or left open.
    ReadResult wrap({wrapFile});
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
        for (const auto& row : c.rows) EXPECT_GE(row.totalMs, 0);
    }
}

// A roll-over is followed however deep the stack stood, and is reported when
// its file is gone.
TEST(HostTraceTest, RollOverAtDepthAndRollOverIntoNothing) {
    constexpr size_t depth = 5000;  // the new file's header line, indented to it, outgrows a read block
    TempDir dir;
    const std::string first = WriteTrace(dir.path + "/deep", [&](ZAVDebug& t) {
        for (size_t i = 0; i < depth; ++i) t.RoutinePush(ZAV_WIDE("Deep"), ZAV_WIDE("Step"), nullptr, 1);
        t.MaxLogSize(1000);  // rolls over at the next line, deep inside
        t.InsertMsg(ZAV_WIDE("at the bottom"));
        t.MaxLogSize(1u << 30);
        for (size_t i = 0; i < depth; ++i) t.RoutinePop(-1, 0);  // the innermost
    });
    ReadResult r({first});
    const auto& s = r.summary;
    EXPECT_EQ(std::tuple(s.followedFiles.size(), r.calls.size(), s.garbled + s.calls.popsWithoutPush + s.calls.openAtEnd),
              std::tuple(1u, depth, 0u));
    std::filesystem::remove(r.summary.followedFiles.at(0));
    EXPECT_EQ(ReadResult({first}).summary.unfollowed, std::vector<std::string>{first});
}

// profile --follow on a trace the library is still writing: the table keeps
// up with it across roll-overs and the tool ends cleanly on an interrupt.
TEST(HostTraceTest, ProfileFollowsAGrowingTraceAcrossRollOvers) {
    TempDir dir;
    const std::string table = dir.path + "/table.csv";
    // Waits up to 10 s for the table to show `runs` calls of Host.Run.
    const auto shows = [&](int runs) {
        for (int i = 0; i < 200; usleep(50000), ++i)
            if (ReadFile(table).find("\nHost.Run,," + std::to_string(runs) + ",") != std::string::npos) return true;
        return false;
    };
    WriteTrace(dir.path + "/follow", [&](ZAVDebug& trace) {
        RunScenario(trace);
        const pid_t child = fork();
        if (child == 0) {
            const std::string first = dir.path + "/follow.log";
            execl(ZAVTRACE_TOOL, ZAVTRACE_TOOL, "profile", "--follow", "--csv", "-q", "-o", table.c_str(), first.c_str(), nullptr);
            _exit(127);
        }
        EXPECT_TRUE(shows(1));
        for (int i = 0; i < 6; ++i) RunScenario(trace);
        EXPECT_TRUE(std::filesystem::exists(dir.path + "/follow2.log"));  // it rolled over meanwhile
        EXPECT_TRUE(shows(7));
        kill(child, SIGINT);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }, 3000);
}
