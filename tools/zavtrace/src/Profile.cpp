#include "Profile.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "TextEncoding.h"

namespace zavtrace {

ProfileSink::Stats& ProfileSink::Slot(const Track& track, uint32_t routine) {
    if (!byThread_) {
        if (routine >= stats_.size()) stats_.resize(routine + 1);
        return stats_[routine];
    }
    const Key key{track.processId, track.threadId, routine, track.wrapDump};
    auto [slot, added] = slots_.emplace(key, stats_.size());
    if (added) {
        stats_.emplace_back();
        keys_.push_back(key);
    }
    return stats_[slot->second];
}

void ProfileSink::OnCall(const Track& track, const Call& call) {
    Stats& s = Slot(track, call.routine);
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
    int64_t inRoutines = 0;
    for (const Stats& s : stats_) inRoutines = SaturatingAdd(inRoutines, s.selfUs);
    for (size_t id = 0; id < stats_.size(); ++id) {
        const Stats& s = stats_[id];
        if (s.calls == 0) continue;
        ProfileRow row;
        if (byThread_) {
            const Key& key = keys_[id];
            row.name = ToUtf8(routines.Name(key.routine));
            row.thread = key.wrapDump ? fmt::format("{}/wrap", key.processId) : fmt::format("{}/{}", key.processId, key.threadId);
        } else {
            row.name = ToUtf8(routines.Name(static_cast<uint32_t>(id)));
        }
        if (inRoutines > 0) {
            row.totalPct = 100.0 * static_cast<double>(s.totalUs) / static_cast<double>(inRoutines);
            row.selfPct = 100.0 * static_cast<double>(s.selfUs) / static_cast<double>(inRoutines);
        }
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
        return a.totalMs != b.totalMs ? a.totalMs > b.totalMs : std::tie(a.name, a.thread) < std::tie(b.name, b.thread);
    });
    return rows;
}

namespace {

// Milliseconds with the microsecond resolution of the trace.
double Ms(double ms) { return std::round(ms * 1000.0) / 1000.0; }

void WriteTable(FILE* out, const std::vector<ProfileRow>& rows) {
    size_t width = 7, threadWidth = 0;
    for (const ProfileRow& r : rows) {
        width = std::max(width, r.name.size());
        threadWidth = std::max(threadWidth, r.thread.size());
    }
    if (threadWidth > 0) threadWidth = std::max<size_t>(threadWidth, 6);
    const std::string threadHead = threadWidth > 0 ? fmt::format("  {:<{}}", "Thread", threadWidth) : std::string();
    fmt::print(out, "{:<{}}{}  {:>8}  {:>12}  {:>6}  {:>12}  {:>6}  {:>10}  {:>10}  {:>10}  {:>6}\n", "Routine", width,
               threadHead, "Calls", "Total ms", "Total%", "Self ms", "Self%", "Mean ms", "Max ms", "P95 ms", "RC!=0");
    for (const ProfileRow& r : rows) {
        const std::string thread = threadWidth > 0 ? fmt::format("  {:<{}}", r.thread, threadWidth) : std::string();
        fmt::print(out, "{:<{}}{}  {:>8}  {:>12.3f}  {:>6.1f}  {:>12.3f}  {:>6.1f}  {:>10.3f}  {:>10.3f}  {:>10.3f}  {:>6}\n",
                   r.name, width, thread, r.calls, r.totalMs, r.totalPct, r.selfMs, r.selfPct, r.meanMs, r.maxMs,
                   r.p95Ms, r.nonzeroRc);
    }
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
    fmt::print(out, "name,thread,calls,total_ms,total_pct,self_ms,self_pct,mean_ms,max_ms,p95_ms,nonzero_rc\n");
    for (const ProfileRow& r : rows)
        fmt::print(out, "{},{},{},{:.3f},{:.2f},{:.3f},{:.2f},{:.3f},{:.3f},{:.3f},{}\n", CsvField(r.name), r.thread,
                   r.calls, r.totalMs, r.totalPct, r.selfMs, r.selfPct, r.meanMs, r.maxMs, r.p95Ms, r.nonzeroRc);
}

void WriteJson(FILE* out, const std::vector<ProfileRow>& rows) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const ProfileRow& r : rows) {
        nlohmann::ordered_json row = {{"name", r.name}};
        if (!r.thread.empty()) row["thread"] = r.thread;
        row.update(nlohmann::ordered_json{{"calls", r.calls},
                         {"total_ms", Ms(r.totalMs)},
                         {"total_pct", std::round(r.totalPct * 100) / 100},
                         {"self_ms", Ms(r.selfMs)},
                         {"self_pct", std::round(r.selfPct * 100) / 100},
                         {"mean_ms", Ms(r.meanMs)},
                         {"max_ms", Ms(r.maxMs)},
                         {"p95_ms", Ms(r.p95Ms)},
                         {"nonzero_rc", r.nonzeroRc}});
        array.push_back(std::move(row));
    }
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
