// zavtrace's reader and every output form and view over arbitrary trace files: up to
// three numbered files (the input split at form feeds), so that roll-overs
// are followed too. Durations never go below zero, the timeline is valid
// JSON, and where one routine stack wrote all of it, every call lies inside
// its caller.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "CallPaths.h"
#include "Diff.h"
#include "Views.h"
#include "TraceTest.h"
#include "FuzzSupport.h"
#include "Profile.h"
#include "TraceReader.h"

namespace {

// A plain array: it outlives the exit handler that removes the folder.
char g_directory[] = "/tmp/fuzz_zavtraceXXXXXX";

std::string Directory() {
    static const bool made = [] {
        if (mkdtemp(g_directory) == nullptr) abort();
        atexit([] {
            std::error_code error;
            std::filesystem::remove_all(g_directory, error);
        });
        return true;
    }();
    (void)made;
    return g_directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dir = Directory();
    for (const auto& entry : std::filesystem::directory_iterator(dir)) std::filesystem::remove(entry.path());
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> files;
    for (int i = 0; i < 3 && (i == 0 || !rest.empty()); ++i) {
        const size_t cut = i == 2 ? std::string_view::npos : rest.find('\f');
        const std::string path = dir + (i == 0 ? "/t.log" : "/t" + std::to_string(i) + ".log");
        std::ofstream(path, std::ios::binary) << rest.substr(0, cut);
        files.push_back(path);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }

    zavtrace::RoutineTable routines;
    zavtrace::ProfileSink profile(size % 2 == 0);
    zavtrace::StackTree reader;
    zavtrace::PathSink threadPaths(reader, routines, size % 3 == 0);
    zavtrace::TeeSink both(profile, threadPaths);
    zavtrace::TraceReader(routines, both, &reader).Read(files);
    const zavtrace::StackTree& paths = threadPaths.Paths();
    FILE* sink = fopen("/dev/null", "wb");
    const std::vector<zavtrace::ProfileRow> rows = profile.Rows(routines);
    for (const auto& row : rows) FUZZ_CHECK(row.totalMs >= 0 && row.selfMs >= 0 && row.maxMs >= 0);
    for (auto format : {zavtrace::ProfileFormat::Table, zavtrace::ProfileFormat::Csv, zavtrace::ProfileFormat::Json})
        zavtrace::WriteProfile(sink, rows, format);
    zavtrace::WriteFoldedStacks(sink, paths, routines);
    for (const auto& node : paths.Nodes()) FUZZ_CHECK(node.selfUs >= 0);
    const std::string svg = zavtrace::FlameGraphSvg(paths, routines, zavtrace::FlameOptions{});
    FUZZ_CHECK(svg.find("</svg>") != std::string::npos);
    if (routines.Size() > 0) {
        const std::string name = routines.Name(0);
        for (auto direction : {zavtrace::Direction::Callers, zavtrace::Direction::Callees})
            zavtrace::WriteNeighbours(sink, zavtrace::Neighbours(paths, routines, name, direction), name, direction);
    }
    zavtrace::FlameOptions differential;
    differential.change = zavtrace::PathChanges(reader, paths);
    for (double c : differential.change) FUZZ_CHECK(c >= -1 && c <= 1);
    fclose(sink);
    (void)zavtrace::FlameGraphSvg(paths, routines, differential);

    // Throws, a finding, when the output is no JSON.
    const nlohmann::json chrome = ChromeOf(files);
    const bool oneStack = files.size() == 1 && std::string_view(reinterpret_cast<const char*>(data), size).find(
                                                   "---- Wrap trace") == std::string_view::npos;
    if (oneStack) FUZZ_CHECK(NestingViolations(chrome).empty());
    for (const auto& e : chrome["traceEvents"])
        if (e["ph"] == "X") FUZZ_CHECK(e["dur"].get<int64_t>() >= 0);
    return 0;
}
