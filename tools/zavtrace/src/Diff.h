// Two traces compared: per routine, calls, self and total time in both and
// the change; per call path, the change in self time for a differential
// flame graph.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "CallModel.h"
#include "Profile.h"

namespace zavtrace {

struct DiffRow {
    std::string name;
    uint64_t callsA = 0, callsB = 0;
    double selfA = 0, selfB = 0, totalA = 0, totalB = 0;  // ms
};

// Every routine of either trace, the largest change in total time first.
std::vector<DiffRow> DiffProfiles(const std::vector<ProfileRow>& a, const std::vector<ProfileRow>& b);
void WriteDiff(FILE* out, const std::vector<DiffRow>& rows);

// Per node of b (both trees over one routine table): its change in self
// time from a, relative to the largest change of any path, in [-1, 1].
std::vector<double> PathChanges(const StackTree& a, const StackTree& b);

}  // namespace zavtrace
