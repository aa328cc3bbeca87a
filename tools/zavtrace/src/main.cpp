// zavtrace: reads ZAVDebug trace files back as a profile, a timeline for
// chrome://tracing and Perfetto, folded stacks and a flame graph.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "CallPaths.h"
#include "ChromeTrace.h"
#include "Diff.h"
#include "Profile.h"
#include "TraceReader.h"
#include "Views.h"

namespace {

using namespace zavtrace;

struct Options {
    std::vector<std::string> files;
    std::string output;
    bool csv = false, json = false;
    bool quiet = false, stats = false;
    bool byThread = false;
    bool follow = false;
    std::string routine;  // callers, callees
    std::string before, after, diffFlame;  // diff
    FlameOptions flame;
    ChromeOptions chrome;
    EventFilter filter;
};

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

File OpenOutput(const std::string& path) {
    if (path.empty() || path == "-") return File(stdout, [](FILE*) { return 0; });
    return File(fopen(path.c_str(), "wb"), fclose);
}

// The reader's own report, and with --stats the throughput and peak memory.
int Report(const Options& o, const ReadSummary& summary, std::chrono::steady_clock::time_point start) {
    if (!o.quiet) PrintWarnings(summary);
    if (o.stats) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        // On a shared machine the processor time tells the tool's own speed.
        const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        fmt::print(stderr,
                   "zavtrace: {} file(s), {} bytes, {} lines in {:.3f} s ({:.1f} MB/s), {:.3f} s of processor time "
                   "({:.1f} MB/s), peak memory {:.1f} MiB\n",
                   summary.files, summary.bytes, summary.lines, seconds, summary.bytes / seconds / 1e6, cpu,
                   summary.bytes / cpu / 1e6, usage.ru_maxrss / 1024.0);
    }
    if (!summary.missingFiles.empty() || !summary.notTraces.empty()) return 2;
    return 0;
}

int Run(const std::string& command, const Options& o) {
    const auto start = std::chrono::steady_clock::now();
    File out = OpenOutput(o.output);
    if (!out) {
        fmt::print(stderr, "zavtrace: cannot write {}\n", o.output);
        return 2;
    }
    int rc = 0;
    RoutineTable routines;
    if (command == "diff") {
        // One routine table, so that the paths of both traces compare by id.
        struct Side {
            explicit Side(RoutineTable& routines) : paths(reader, routines, false) {}
            StackTree reader;
            ProfileSink profile;
            PathSink paths;
        };
        Side a(routines), b(routines);
        for (Side* side : {&a, &b}) {
            TeeSink both(side->profile, side->paths);
            FilteredSink filtered(o.filter, both);
            const ReadSummary summary =
                TraceReader(routines, filtered, &side->reader).Read({side == &a ? o.before : o.after});
            rc = std::max(rc, Report(o, summary, start));
        }
        WriteDiff(out.get(), DiffProfiles(a.profile.Rows(routines), b.profile.Rows(routines)));
        if (!o.diffFlame.empty()) {
            FlameOptions flame = o.flame;
            flame.title = "zavtrace: " + o.after + " against " + o.before;
            flame.change = PathChanges(a.paths.Paths(), b.paths.Paths());
            const std::string svg = FlameGraphSvg(b.paths.Paths(), routines, flame);
            File file = OpenOutput(o.diffFlame);
            if (!file || fwrite(svg.data(), 1, svg.size(), file.get()) != svg.size()) {
                fmt::print(stderr, "zavtrace: writing {} failed\n", o.diffFlame);
                return 2;
            }
        }
    } else if (command == "profile") {
        ProfileSink profile(o.byThread);
        FilteredSink filtered(o.filter, profile);
        const ReadSummary summary = TraceReader(routines, filtered, nullptr).Read(o.files);
        WriteProfile(out.get(), profile.Rows(routines),
                     o.json ? ProfileFormat::Json : o.csv ? ProfileFormat::Csv : ProfileFormat::Table);
        rc = Report(o, summary, start);
    } else if (command == "chrome") {
        ChromeTraceSink chrome(out.get(), routines, o.chrome);
        FilteredSink filtered(o.filter, chrome);
        const ReadSummary summary = TraceReader(routines, filtered, nullptr).Read(o.files);
        if (!chrome.Close()) {
            fmt::print(stderr, "zavtrace: writing {} failed\n", o.output);
            return 2;
        }
        rc = Report(o, summary, start);
    } else {
        StackTree reader;
        PathSink paths(reader, routines, o.byThread);
        FilteredSink filtered(o.filter, paths);
        const ReadSummary summary = TraceReader(routines, filtered, &reader).Read(o.files);
        if (command == "folded") {
            WriteFoldedStacks(out.get(), paths.Paths(), routines);
        } else if (command == "flame") {
            const std::string svg = FlameGraphSvg(paths.Paths(), routines, o.flame);
            fwrite(svg.data(), 1, svg.size(), out.get());
        } else {
            const Direction direction = command == "callers" ? Direction::Callers : Direction::Callees;
            WriteNeighbours(out.get(), Neighbours(paths.Paths(), routines, o.routine, direction), o.routine, direction);
        }
        rc = Report(o, summary, start);
        const uint64_t overflow = reader.Overflow() + paths.Paths().Overflow();
        if (overflow > 0 && !o.quiet)
            fmt::print(stderr,
                       "zavtrace: warning: more than {} call paths; {} call(s) on further paths were counted on "
                       "their caller's path\n",
                       StackTree::kMaxNodes, overflow);
    }
    if (fflush(out.get()) != 0 || ferror(out.get())) {
        fmt::print(stderr, "zavtrace: writing {} failed\n", o.output.empty() ? "the output" : o.output);
        return 2;
    }
    return rc;
}

volatile sig_atomic_t gInterrupted = 0;

// profile or folded again every second on a trace that grows, until
// interrupted: each round reads the trace anew from its first file, so a
// roll-over into a new file is followed as it happens.
int Follow(const std::string& command, const Options& o) {
    struct sigaction action {};
    action.sa_handler = [](int) { gInterrupted = 1; };
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    const bool terminal = (o.output.empty() || o.output == "-") && isatty(STDOUT_FILENO);
    int rc = 0;
    while (!gInterrupted) {
        if (terminal) fmt::print("\x1b[H\x1b[2J");
        rc = Run(command, o);
        if (terminal) fmt::print("\n(following {}; Ctrl+C ends)\n", o.files.front());
        fflush(stdout);
        for (int i = 0; i < 10 && !gInterrupted; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return rc == 2 ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"zavtrace: where the time went in ZAVDebug trace files.\n"
                 "Numbered files of one trace (base.log, base1.log, ...) are read in order as one trace;\n"
                 "a file that ends in a roll-over is followed into the next numbered file of its process\n"
                 "beside it, so the first file's name is enough."};
    app.require_subcommand(1);
    Options o;
    uint32_t pid = 0, tid = 0;
    std::string from, to;
    auto common = [&](CLI::App* sub, bool outputRequired) {
        sub->add_option("files", o.files, "trace files")->required()->check(CLI::ExistingFile);
        auto* output = sub->add_option("-o,--output", o.output,
                                       outputRequired ? "output file (- for standard output)"
                                                      : "output file (default: standard output)");
        if (outputRequired) output->required();
        sub->add_flag("-q,--quiet", o.quiet, "no warnings about damaged or unbalanced lines");
        sub->add_flag("--stats", o.stats, "print throughput and peak memory to standard error");
        sub->add_option("--pid", pid, "only this process");
        sub->add_option("--tid", tid, "only this thread");
        sub->add_option("--from", from, "only calls and lines from this trace time on: HH:MM:SS[.ffffff] or YYYY-MM-DD HH:MM:SS[.ffffff]");
        sub->add_option("--to", to, "only calls and lines before this trace time");
    };
    auto* profile = app.add_subcommand("profile", "per-routine calls, total/self time with % of the time in routines, mean/max/p95, non-zero return codes");
    common(profile, false);
    auto* csv = profile->add_flag("--csv", o.csv, "comma-separated values");
    profile->add_flag("--json", o.json, "a JSON array of objects")->excludes(csv);
    profile->add_flag("--by-thread", o.byThread, "a row per routine and thread");
    auto* chrome = app.add_subcommand("chrome", "trace event JSON for chrome://tracing, Perfetto and speedscope");
    common(chrome, true);
    bool noMessages = false, noCounters = false;
    chrome->add_flag("--no-messages", noMessages, "leave out the message lines' instant events");
    chrome->add_flag("--no-counters", noCounters, "leave out the memory counters");
    profile->add_flag("--follow", o.follow, "read the growing trace again every second until interrupted");
    auto* folded = app.add_subcommand("folded", "folded stacks with self time in microseconds");
    common(folded, false);
    folded->add_flag("--follow", o.follow, "read the growing trace again every second until interrupted");
    folded->add_flag("--by-thread", o.byThread, "stacks rooted at a process and a thread frame");
    auto* flame = app.add_subcommand("flame", "an SVG flame graph: click to zoom, Ctrl+F or the Search button to search");
    common(flame, true);
    flame->add_option("--title", o.flame.title, "the graph's title");
    flame->add_option("--width", o.flame.width, "width in pixels")->check(CLI::Range(200, 100000));
    flame->add_flag("--by-thread", o.byThread, "stacks rooted at a process and a thread frame");
    auto* diff = app.add_subcommand("diff", "two traces compared: calls, self and total time per routine in both, and the change");
    diff->add_option("a", o.before, "the trace before (its first file; roll-overs are followed)")->required()->check(CLI::ExistingFile);
    diff->add_option("b", o.after, "the trace after")->required()->check(CLI::ExistingFile);
    diff->add_option("-o,--output", o.output, "output file (default: standard output)");
    diff->add_option("--flame", o.diffFlame, "also a differential flame graph of b: red where self time grew, blue where it fell");
    diff->add_flag("-q,--quiet", o.quiet, "no warnings about damaged or unbalanced lines");
    diff->add_option("--pid", pid, "only this process");
    diff->add_option("--tid", tid, "only this thread");
    diff->add_option("--from", from, "only calls from this trace time on");
    diff->add_option("--to", to, "only calls before this trace time");
    for (const char* name : {"callers", "callees"}) {
        auto* sub = app.add_subcommand(name, std::string("the ") + name + " of one routine, with calls and time per path");
        sub->add_option("routine", o.routine, "Owner.Routine")->required();
        common(sub, false);
    }
    CLI11_PARSE(app, argc, argv);
    CLI::App* sub = app.get_subcommands().front();
    if (sub->count("--pid") > 0) o.filter.processId = pid;
    if (sub->count("--tid") > 0) o.filter.threadId = tid;
    for (auto [text, bound] : {std::pair{&from, &o.filter.from}, std::pair{&to, &o.filter.to}}) {
        if (text->empty()) continue;
        TraceTime time;
        if (!ParseTraceTime(*text, time)) {
            fmt::print(stderr, "zavtrace: {} is no trace time (HH:MM:SS[.ffffff] or YYYY-MM-DD HH:MM:SS)\n", *text);
            return 2;
        }
        *bound = time;
    }
    o.chrome.messages = !noMessages;
    o.chrome.counters = !noCounters;
    try {
        const std::string command = app.get_subcommands().front()->get_name();
        return o.follow ? Follow(command, o) : Run(command, o);
    } catch (const std::exception& e) {
        fmt::print(stderr, "zavtrace: {}\n", e.what());
        return 2;
    }
}
