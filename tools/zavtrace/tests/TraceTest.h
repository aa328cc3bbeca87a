// What the zavtrace tests share. First the check every timeline must pass,
// which the fuzz target shares too: on each track of the Chrome trace event
// form, every complete event lies inside the one that encloses its start,
// as every viewer's stack reconstruction relies on. Then, for the test
// program only, scratch folders, traces written by hand or through the
// library, and all the reader makes of them.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "ChromeTrace.h"
#include "TraceReader.h"

// With ZAVTRACE_CHROME_OUT set to a folder, each output is kept there too,
// for a viewer's importer to load afterwards (unless `keep` is false: times
// of crafted traces beyond what a viewer's double-precision clock holds).
inline nlohmann::json ChromeOf(const std::vector<std::string>& files, bool keep = true) {
    FILE* out = tmpfile();
    zavtrace::RoutineTable routines;
    zavtrace::ChromeTraceSink chrome(out, routines);
    zavtrace::TraceReader(routines, chrome, nullptr).Read(files);
    chrome.Close();  // a document cut short does not parse
    std::string text(ftell(out), '\0');
    rewind(out);
    text.resize(fread(text.data(), 1, text.size(), out));
    fclose(out);
    if (const char* folder = getenv("ZAVTRACE_CHROME_OUT"); folder != nullptr && keep) {
        static int kept = 0;
        std::ofstream(std::string(folder) + "/chrome-" + std::to_string(++kept) + ".json", std::ios::binary) << text;
    }
    return nlohmann::json::parse(text);
}

// "name@ts" of each slice that sticks out of its enclosing slice, has a
// negative duration, or has none and starts with another slice: viewers put
// slices of one start longest first, so such a one would end before it began.
inline std::vector<std::string> NestingViolations(const nlohmann::json& doc) {
    // Per track, slices as (start, -end, name): outer before inner at one start.
    std::map<std::pair<int64_t, int64_t>, std::vector<std::tuple<int64_t, int64_t, std::string>>> tracks;
    std::vector<std::string> bad;
    for (const auto& e : doc["traceEvents"]) {
        if (e["ph"] != "X") continue;
        const int64_t ts = e["ts"], dur = e["dur"];
        if (dur < 0) bad.push_back(e["name"].get<std::string>() + "@" + std::to_string(ts));
        tracks[{e["pid"], e["tid"]}].emplace_back(ts, -(ts + dur), e["name"]);
    }
    for (auto& [track, slices] : tracks) {
        std::sort(slices.begin(), slices.end());
        std::vector<int64_t> ends;  // of the slices open
        for (size_t i = 0; i < slices.size(); ++i) {
            const auto& [ts, negativeEnd, name] = slices[i];
            while (!ends.empty() && ends.back() <= ts) ends.pop_back();
            const bool startShared = (i > 0 && std::get<0>(slices[i - 1]) == ts) ||
                                     (i + 1 < slices.size() && std::get<0>(slices[i + 1]) == ts);
            if ((!ends.empty() && -negativeEnd > ends.back()) || (-negativeEnd == ts && startShared))
                bad.push_back(name + "@" + std::to_string(ts));
            ends.push_back(-negativeEnd);
        }
    }
    return bad;
}

#ifdef ZAVTRACE_TOOL  // the test program, which writes traces through the library

#include <unistd.h>

#include <filesystem>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#define ZAVUTIL1_WIN32_NAMES  // LONG, DWORD as a Win32 host names them
#include <ZAVUtil1/ZAVUtil1.h>

#include "Profile.h"
#include "Views.h"

struct TempDir {
    std::string path = [] {
        char pattern[] = "/tmp/zavtracetestXXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(path + "/" + name, std::ios::binary) << content;
        return path + "/" + name;
    }
    // In no particular order: the reader puts them in theirs.
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(path)) files.push_back(entry.path().string());
        std::shuffle(files.begin(), files.end(), std::mt19937(3));
        return files;
    }
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A host's routine calls with known nesting, sleeps and return codes:
// Host.Run (rc 0) sleeps `run`, then Work.Load x3 (rc 0, 5, 0) each sleeping
// `load` around Work.Parse (rc 0); Work.Save (no return code); Work.Fail
// (rc 87) popped with Work.Inner still open.
inline void RunScenario(ZAVDebug& trace, int run = 0, int load = 0) {
    const LONG top = trace.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Run"), nullptr, 1);
    usleep(1000 * run);
    for (int i = 0; i < 3; ++i) {
        const LONG level = trace.RoutinePushReq(ZAV_WIDE("Work"), ZAV_WIDE("Load"), i, -2);
        usleep(1000 * load);
        trace.RoutinePop(trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Parse"), ZAV_WIDE("text"), -2), 0);
        trace.RoutinePop(level, i == 1 ? 5 : 0);
    }
    trace.RoutinePop(trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Save"), nullptr, -2), 0x7FFFFFFF);  // no code
    const LONG fail = trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Fail"), nullptr, -2);
    trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Inner"), nullptr, -2);
    trace.RoutinePop(fail, 87);
    trace.RoutinePop(top, 0);
}

// A trace of base name `base` that `body` writes through the library; its first file.
template <typename Body>
std::string WriteTrace(const std::string& base, Body body, DWORD limit = 0, DWORD wrap = 0) {
    ZAVDebug trace;
    std::u16string name(base.begin(), base.end());
    trace.TraceStart(name.data(), wrap);
    if (limit != 0) trace.MaxLogSize(limit);
    body(trace);
    return base + ".log";
}

// Everything the reader reports: the events, a profile and the summary.
struct ReadResult : zavtrace::EventSink {
    zavtrace::RoutineTable routines;
    zavtrace::ProfileSink profile;
    zavtrace::ReadSummary summary;
    std::vector<zavtrace::Call> calls;
    std::vector<zavtrace::Track> tracks;  // of each call
    std::vector<std::pair<int64_t, std::string>> messages;
    std::vector<std::pair<int64_t, zavtrace::MemoryFigures>> memory;
    std::vector<zavtrace::ProfileRow> rows;

    void OnCall(const zavtrace::Track& t, const zavtrace::Call& c) override { calls.push_back(c), tracks.push_back(t); }
    void OnMessage(const zavtrace::Track&, int64_t us, std::string_view s) override { messages.emplace_back(us, s); }
    void OnMemory(const zavtrace::Track&, int64_t us, const zavtrace::MemoryFigures& m) override { memory.emplace_back(us, m); }
    zavtrace::ProfileRow Row(const std::string& name) const {  // no calls when there is none
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.name == name; });
        return row == rows.end() ? zavtrace::ProfileRow{} : *row;
    }
    // Whatever the trace, its timeline nests (`keep`: see ChromeOf).
    ReadResult(const std::vector<std::string>& files, bool keep = true) {
        zavtrace::TeeSink both(*this, profile);
        summary = zavtrace::TraceReader(routines, both, nullptr).Read(files);
        rows = profile.Rows(routines);
        EXPECT_EQ(NestingViolations(ChromeOf(files, keep)), std::vector<std::string>{});
    }
};

#endif
