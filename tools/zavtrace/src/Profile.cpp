#include "Profile.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "TextEncoding.h"

namespace zavtrace {

void ProfileSink::OnCall(const Track&, const Call& call) {
    if (call.routine >= stats_.size()) stats_.resize(call.routine + 1);
    Stats& s = stats_[call.routine];
    ++s.calls;
    // A recursive call's time is in its outer call's total already.
    if (!call.recursive) s.totalUs = SaturatingAdd(s.totalUs, call.durUs);
    s.allUs = SaturatingAdd(s.allUs, call.durUs);
    s.selfUs = SaturatingAdd(s.selfUs, call.selfUs);
    s.maxUs = std::max(s.maxUs, call.durUs);
    if (call.hasRc && call.rc != 0) ++s.nonzeroRc;
    s.durations.Add(call.durUs);
}

std::vector<ProfileRow> ProfileSink::Rows(const RoutineTable& routines) const {
    std::vector<ProfileRow> rows;
    for (size_t id = 0; id < stats_.size(); ++id) {
        const Stats& s = stats_[id];
        if (s.calls == 0) continue;
        ProfileRow row;
        row.name = ToUtf8(routines.Name(static_cast<uint32_t>(id)));
        row.calls = s.calls;
        row.totalMs = s.totalUs / 1000.0;
        row.selfMs = s.selfUs / 1000.0;
        row.meanMs = s.allUs / 1000.0 / static_cast<double>(s.calls);
        row.maxMs = s.maxUs / 1000.0;
        row.p95Ms = s.durations.Quantile(0.95) / 1000.0;
        row.nonzeroRc = s.nonzeroRc;
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), [](const ProfileRow& a, const ProfileRow& b) {
        return a.totalMs != b.totalMs ? a.totalMs > b.totalMs : a.name < b.name;
    });
    return rows;
}

namespace {

// Milliseconds with the microsecond resolution of the trace.
double Ms(double ms) { return std::round(ms * 1000.0) / 1000.0; }

void WriteTable(FILE* out, const std::vector<ProfileRow>& rows) {
    size_t width = 7;
    for (const ProfileRow& r : rows) width = std::max(width, r.name.size());
    fmt::print(out, "{:<{}}  {:>8}  {:>12}  {:>12}  {:>10}  {:>10}  {:>10}  {:>6}\n", "Routine", width, "Calls",
               "Total ms", "Self ms", "Mean ms", "Max ms", "P95 ms", "RC!=0");
    for (const ProfileRow& r : rows)
        fmt::print(out, "{:<{}}  {:>8}  {:>12.3f}  {:>12.3f}  {:>10.3f}  {:>10.3f}  {:>10.3f}  {:>6}\n", r.name, width,
                   r.calls, r.totalMs, r.selfMs, r.meanMs, r.maxMs, r.p95Ms, r.nonzeroRc);
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string quoted = "\"";
    for (char c : s) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void WriteCsv(FILE* out, const std::vector<ProfileRow>& rows) {
    fmt::print(out, "name,calls,total_ms,self_ms,mean_ms,max_ms,p95_ms,nonzero_rc\n");
    for (const ProfileRow& r : rows)
        fmt::print(out, "{},{},{:.3f},{:.3f},{:.3f},{:.3f},{:.3f},{}\n", CsvField(r.name), r.calls, r.totalMs,
                   r.selfMs, r.meanMs, r.maxMs, r.p95Ms, r.nonzeroRc);
}

void WriteJson(FILE* out, const std::vector<ProfileRow>& rows) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const ProfileRow& r : rows)
        array.push_back({{"name", r.name},
                         {"calls", r.calls},
                         {"total_ms", Ms(r.totalMs)},
                         {"self_ms", Ms(r.selfMs)},
                         {"mean_ms", Ms(r.meanMs)},
                         {"max_ms", Ms(r.maxMs)},
                         {"p95_ms", Ms(r.p95Ms)},
                         {"nonzero_rc", r.nonzeroRc}});
    fmt::print(out, "{}\n", array.dump(2));
}

}  // namespace

void WriteProfile(FILE* out, const std::vector<ProfileRow>& rows, ProfileFormat format) {
    switch (format) {
    case ProfileFormat::Table: WriteTable(out, rows); break;
    case ProfileFormat::Csv: WriteCsv(out, rows); break;
    case ProfileFormat::Json: WriteJson(out, rows); break;
    }
}

}  // namespace zavtrace
