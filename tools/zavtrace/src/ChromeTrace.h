// The trace event format (JSON object form) that chrome://tracing and
// Perfetto open: a complete event per routine call, instant events for the
// message lines and markers, counter events for the memory lines, and the
// wrap dumps on a track of their own. Written as the trace is read.
#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <utility>

#include "CallModel.h"

namespace zavtrace {

// What may be left out of a large trace's timeline.
struct ChromeOptions {
    bool messages = true;  // an instant event per message line
    bool counters = true;  // the memory lines' counters
};

class ChromeTraceSink : public EventSink {
public:
    ChromeTraceSink(FILE* out, const RoutineTable& routines, ChromeOptions options = {});
    ~ChromeTraceSink() override;
    // Ends the JSON document and flushes it; false when writing failed.
    bool Close();

    void OnTrack(const Track& track, std::string_view title) override;
    void OnCall(const Track& track, const Call& call) override;
    void OnMessage(const Track& track, int64_t us, std::string_view text) override;
    void OnMemory(const Track& track, int64_t us, const MemoryFigures& memory) override;
    void OnMarker(const Track& track, int64_t us, std::string_view text) override;

    // The thread id under which a process's wrap dumps appear.
    static constexpr uint32_t kWrapThread = 0x7FFFFFFE;

private:
    void Begin(const char* phase, std::string_view name, const Track& track, int64_t us);
    void End();
    void CallDetails(const Call& call);
    void Number(int64_t value);
    void Name(const Track& track);

    FILE* out_;
    const RoutineTable& routines_;
    ChromeOptions options_;
    std::string buffer_;
    bool first_ = true;
    bool closed_ = false;
    bool failed_ = false;
    std::set<uint32_t> namedProcesses_;
    std::set<std::pair<uint32_t, uint32_t>> namedThreads_;
    std::pair<uint32_t, uint32_t> lastNamed_{};
    bool anyNamed_ = false;
};

}  // namespace zavtrace
