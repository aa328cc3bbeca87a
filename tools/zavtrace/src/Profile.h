// Per-routine figures: calls, total and self time, mean, max, p95 and the
// calls with a non-zero return code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "CallModel.h"
#include "DurationQuantiles.h"

namespace zavtrace {

struct ProfileRow {
    std::string name;
    uint64_t calls = 0;
    double totalMs = 0, selfMs = 0, meanMs = 0, maxMs = 0, p95Ms = 0;
    uint64_t nonzeroRc = 0;
};

class ProfileSink : public EventSink {
public:
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
    std::vector<Stats> stats_;  // by routine id
};

enum class ProfileFormat { Table, Csv, Json };

void WriteProfile(FILE* out, const std::vector<ProfileRow>& rows, ProfileFormat format);

}  // namespace zavtrace
