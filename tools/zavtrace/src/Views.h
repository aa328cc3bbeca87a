// Narrower views of a trace: its events filtered by process, thread and a
// time window; its call paths per thread; and the callers and callees of
// one routine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "CallModel.h"

namespace zavtrace {

// Times in trace time: "HH:MM:SS[.ffffff]" is a time of day (a window
// across midnight when from > to), "YYYY-MM-DD HH:MM:SS[.ffffff]" a moment.
struct TraceTime {
    bool dated = false;
    int64_t us = 0;  // since midnight, or since 1970 when dated
};
// False for text in neither form.
bool ParseTraceTime(const std::string& text, TraceTime& time);

struct EventFilter {
    std::optional<uint32_t> processId, threadId;
    std::optional<TraceTime> from, to;
    bool Tracks(const Track& track) const;
    // A call is in the window when it starts there.
    bool Accepts(const Track& track, int64_t us) const;
    bool Any() const { return processId || threadId || from || to; }
};

// Passes on what the filter accepts.
class FilteredSink : public EventSink {
public:
    FilteredSink(const EventFilter& filter, EventSink& next) : filter_(filter), next_(next) {}
    void OnTrack(const Track& t, std::string_view title) override;
    void OnCall(const Track& t, const Call& c) override;
    void OnMessage(const Track& t, int64_t us, std::string_view text) override;
    void OnMemory(const Track& t, int64_t us, const MemoryFigures& m) override;
    void OnMarker(const Track& t, int64_t us, std::string_view text) override;

private:
    const EventFilter& filter_;
    EventSink& next_;
};

// Passes every event on to two sinks.
class TeeSink : public EventSink {
public:
    TeeSink(EventSink& a, EventSink& b) : a_(a), b_(b) {}
    void OnTrack(const Track& t, std::string_view s) override { a_.OnTrack(t, s), b_.OnTrack(t, s); }
    void OnCall(const Track& t, const Call& c) override { a_.OnCall(t, c), b_.OnCall(t, c); }
    void OnMessage(const Track& t, int64_t us, std::string_view s) override { a_.OnMessage(t, us, s), b_.OnMessage(t, us, s); }
    void OnMemory(const Track& t, int64_t us, const MemoryFigures& m) override { a_.OnMemory(t, us, m), b_.OnMemory(t, us, m); }
    void OnMarker(const Track& t, int64_t us, std::string_view s) override { a_.OnMarker(t, us, s), b_.OnMarker(t, us, s); }

private:
    EventSink& a_;
    EventSink& b_;
};

// The call paths of the calls it is given, with their self times and
// counts; rooted, when asked, at a frame per process and one per thread.
class PathSink : public EventSink {
public:
    // reader: the tree the reader keeps, whose node ids the calls carry.
    PathSink(const StackTree& reader, RoutineTable& routines, bool threadRoots)
        : reader_(reader), routines_(routines), threadRoots_(threadRoots) {}
    void OnCall(const Track& t, const Call& c) override;
    const StackTree& Paths() const { return paths_; }

private:
    uint32_t Map(uint32_t root, uint32_t node);

    const StackTree& reader_;
    RoutineTable& routines_;
    bool threadRoots_;
    StackTree paths_;
    std::unordered_map<uint64_t, uint32_t> mapped_;  // (root, reader node) -> node
};

// Per caller (or callee) of a routine: calls and the time spent in the
// routine (or in the callee) on that path.
struct Neighbour {
    std::string name;
    uint64_t calls = 0;
    int64_t totalUs = 0;
};
enum class Direction { Callers, Callees };
// Sorted by time, longest first; "(outermost)" for calls without a caller,
// "(self)" for the routine's own time among its callees.
std::vector<Neighbour> Neighbours(const StackTree& paths, const RoutineTable& routines, const std::string& routine,
                                  Direction direction);
void WriteNeighbours(FILE* out, const std::vector<Neighbour>& rows, const std::string& routine, Direction direction);

}  // namespace zavtrace
