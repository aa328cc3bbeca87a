// Per-routine figures: calls, total and self time, mean, max, p95 and the
// calls with a non-zero return code.
#pragma once

#include <cstdio>
#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "CallModel.h"
#include "DurationQuantiles.h"

namespace zavtrace {

struct ProfileRow {
    std::string name;
    std::string thread;  // "process/thread" when rows are per thread
    double totalPct = 0, selfPct = 0;  // of the time spent in routines
    uint64_t calls = 0;
    double totalMs = 0, selfMs = 0, meanMs = 0, maxMs = 0, p95Ms = 0;
    uint64_t nonzeroRc = 0;
};

class ProfileSink : public EventSink {
public:
    // byThread: a row per routine and thread (the wrap dumps of a process count as a thread).
    explicit ProfileSink(bool byThread = false) : byThread_(byThread) {}
    void OnCall(const Track&, const Call& call) override;
    // Rows sorted by total time, longest first (then by name).
    std::vector<ProfileRow> Rows(const RoutineTable& routines) const;

private:
    struct Stats {
        uint64_t calls = 0;
        int64_t totalUs = 0, selfUs = 0, maxUs = 0;
        int64_t allUs = 0;  // of every call, the recursive ones too: for the mean
        uint64_t nonzeroRc = 0;
        DurationQuantiles durations;
    };
    struct Key {
        uint32_t processId, threadId, routine;
        bool wrapDump;
        bool operator<(const Key& o) const {
            return std::tie(processId, threadId, wrapDump, routine) < std::tie(o.processId, o.threadId, o.wrapDump, o.routine);
        }
    };
    Stats& Slot(const Track& track, uint32_t routine);

    bool byThread_;
    std::vector<Stats> stats_;  // by routine id, or by the slot of a Key
    std::vector<Key> keys_;     // by slot
    std::map<Key, size_t> slots_;
};

enum class ProfileFormat { Table, Csv, Json };

void WriteProfile(FILE* out, const std::vector<ProfileRow>& rows, ProfileFormat format);

}  // namespace zavtrace
