#include "Views.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include <fmt/format.h>

#include "TextEncoding.h"
#include "TraceLine.h"

namespace zavtrace {
namespace {

constexpr int64_t kDayUs = 86400LL * 1000000;

int64_t TimeOfDay(int64_t us) { return (us % kDayUs + kDayUs) % kDayUs; }

}  // namespace

bool ParseTraceTime(const std::string& text, TraceTime& time) {
    int year = 0, month = 0, day = 0, hours = 0, minutes = 0, consumed = 0;
    double seconds = 0;
    time = TraceTime{};
    const char* clock = text.c_str();
    if (sscanf(text.c_str(), "%4d-%2d-%2d %n", &year, &month, &day, &consumed) == 3 && consumed > 0) {
        if (month < 1 || month > 12 || day < 1 || day > 31) return false;
        time.dated = true;
        clock += consumed;
    }
    consumed = 0;
    if (sscanf(clock, "%2d:%2d:%lf%n", &hours, &minutes, &seconds, &consumed) != 3 || clock[consumed] != '\0')
        return false;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || !(seconds >= 0 && seconds < 61)) return false;
    time.us = (hours * 3600LL + minutes * 60LL) * 1000000 + static_cast<int64_t>(seconds * 1e6 + 0.5);
    if (time.dated) time.us += DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * kDayUs;
    return true;
}

bool EventFilter::Tracks(const Track& track) const {
    return (!processId || *processId == track.processId) && (!threadId || *threadId == track.threadId);
}

bool EventFilter::Accepts(const Track& track, int64_t us) const {
    if (!Tracks(track)) return false;
    if (!from && !to) return true;
    // A dated bound takes the moment; an undated one the time of day.
    auto after = [&](const TraceTime& t) { return t.dated ? us >= t.us : TimeOfDay(us) >= t.us; };
    auto before = [&](const TraceTime& t) { return t.dated ? us < t.us : TimeOfDay(us) < t.us; };
    if (from && to && !from->dated && !to->dated && from->us > to->us) return after(*from) || before(*to);
    return (!from || after(*from)) && (!to || before(*to));
}

void FilteredSink::OnTrack(const Track& t, std::string_view title) {
    if (filter_.Tracks(t)) next_.OnTrack(t, title);
}
void FilteredSink::OnCall(const Track& t, const Call& c) {
    if (filter_.Accepts(t, c.startUs)) next_.OnCall(t, c);
}
void FilteredSink::OnMessage(const Track& t, int64_t us, std::string_view text) {
    if (filter_.Accepts(t, us)) next_.OnMessage(t, us, text);
}
void FilteredSink::OnMemory(const Track& t, int64_t us, const MemoryFigures& m) {
    if (filter_.Accepts(t, us)) next_.OnMemory(t, us, m);
}
void FilteredSink::OnMarker(const Track& t, int64_t us, std::string_view text) {
    if (filter_.Accepts(t, us)) next_.OnMarker(t, us, text);
}

uint32_t PathSink::Map(uint32_t root, uint32_t node) {
    if (node == 0) return root;
    const uint64_t key = (static_cast<uint64_t>(root) << 32) | node;
    auto found = mapped_.find(key);
    if (found != mapped_.end()) return found->second;
    // Parents come before their children in the reader's tree: the walk up is short once mapped.
    const StackTree::Node& n = reader_.Nodes()[node];
    const uint32_t mapped = paths_.Child(Map(root, n.parent), n.routine);
    mapped_.emplace(key, mapped);
    return mapped;
}

void PathSink::OnCall(const Track& t, const Call& c) {
    uint32_t root = 0;
    if (threadRoots_) {
        root = paths_.Child(0, routines_.Intern(fmt::format("process {}", t.processId)));
        root = paths_.Child(root, routines_.Intern(t.wrapDump ? std::string("wrap dumps")
                                                              : fmt::format("thread {}", t.threadId)));
    }
    auto& node = paths_.Nodes()[Map(root, c.node)];
    node.selfUs = SaturatingAdd(node.selfUs, c.selfUs);
    ++node.calls;
}

std::vector<Neighbour> Neighbours(const StackTree& paths, const RoutineTable& routines, const std::string& routine,
                                  Direction direction) {
    const auto& nodes = paths.Nodes();
    std::vector<int64_t> total(nodes.size(), 0);
    for (size_t id = nodes.size() - 1; id >= 1; --id) {
        total[id] = SaturatingAdd(total[id], nodes[id].selfUs);
        total[nodes[id].parent] = SaturatingAdd(total[nodes[id].parent], total[id]);
    }
    std::map<std::string, Neighbour> rows;
    auto add = [&](const std::string& name, uint64_t calls, int64_t us) {
        Neighbour& n = rows[name];
        n.name = name;
        n.calls += calls;
        n.totalUs = SaturatingAdd(n.totalUs, us);
    };
    auto is = [&](size_t id) { return id != 0 && ToUtf8(routines.Name(nodes[id].routine)) == routine; };
    for (size_t id = 1; id < nodes.size(); ++id) {
        if (direction == Direction::Callers && is(id)) {
            const uint32_t parent = nodes[id].parent;
            add(parent == 0 ? "(outermost)" : ToUtf8(routines.Name(nodes[parent].routine)), nodes[id].calls, total[id]);
        } else if (direction == Direction::Callees && is(nodes[id].parent)) {
            add(ToUtf8(routines.Name(nodes[id].routine)), nodes[id].calls, total[id]);
        }
        if (direction == Direction::Callees && is(id)) add("(self)", 0, nodes[id].selfUs);
    }
    std::vector<Neighbour> sorted;
    for (auto& [name, n] : rows) sorted.push_back(n);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Neighbour& a, const Neighbour& b) { return a.totalUs > b.totalUs; });
    return sorted;
}

void WriteNeighbours(FILE* out, const std::vector<Neighbour>& rows, const std::string& routine, Direction direction) {
    int64_t all = 0;
    size_t width = 6;
    for (const Neighbour& n : rows) {
        all = SaturatingAdd(all, n.totalUs);
        width = std::max(width, n.name.size());
    }
    fmt::print(out, "{} of {}: time {} on each path\n", direction == Direction::Callers ? "Callers" : "Callees", routine,
               direction == Direction::Callers ? "in the routine" : "in the callee");
    fmt::print(out, "{:<{}}  {:>8}  {:>12}  {:>6}\n", direction == Direction::Callers ? "Caller" : "Callee", width, "Calls",
               "Total ms", "%");
    for (const Neighbour& n : rows)
        fmt::print(out, "{:<{}}  {:>8}  {:>12.3f}  {:>6.1f}\n", n.name, width, n.calls, n.totalUs / 1000.0,
                   all > 0 ? 100.0 * static_cast<double>(n.totalUs) / static_cast<double>(all) : 0.0);
}

}  // namespace zavtrace
