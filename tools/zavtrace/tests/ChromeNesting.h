// Reads trace files into the Chrome trace event form and checks what every
// viewer's stack reconstruction relies on: on each track, every complete
// event lies inside the one that encloses its start. Shared with the fuzz target.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
inline nlohmann::json ChromeOf(const std::vector<std::string>& files, bool keep = true,
                               zavtrace::ChromeOptions options = {}) {
    FILE* out = tmpfile();
    zavtrace::RoutineTable routines;
    zavtrace::ChromeTraceSink chrome(out, routines, options);
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

// "name@ts" of each slice that sticks out of its enclosing slice, or has a negative duration.
inline std::vector<std::string> NestingViolations(const nlohmann::json& doc) {
    struct Slice {
        int64_t ts, end;
        std::string name;
    };
    std::map<std::pair<int64_t, int64_t>, std::vector<Slice>> tracks;
    std::vector<std::string> bad;
    for (const auto& e : doc["traceEvents"]) {
        if (e["ph"] != "X") continue;
        const int64_t ts = e["ts"], dur = e["dur"];
        if (dur < 0) bad.push_back(e["name"].get<std::string>() + "@" + std::to_string(ts));
        tracks[{e["pid"], e["tid"]}].push_back({ts, ts + dur, e["name"]});
    }
    for (auto& [track, slices] : tracks) {
        // Outer before inner at one start: the longer first.
        std::sort(slices.begin(), slices.end(),
                  [](const Slice& a, const Slice& b) { return std::tie(a.ts, b.end) < std::tie(b.ts, a.end); });
        std::vector<const Slice*> open;
        for (const Slice& s : slices) {
            while (!open.empty() && open.back()->end <= s.ts) open.pop_back();
            if (!open.empty() && s.end > open.back()->end) bad.push_back(s.name + "@" + std::to_string(s.ts));
            open.push_back(&s);
        }
    }
    return bad;
}
