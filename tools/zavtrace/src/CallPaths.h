// The call paths of a trace with their self times: as folded stacks (one
// line per path, "Outer;Inner self_us", the input of flame graph tools) and
// as an SVG flame graph drawn here.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "CallModel.h"

namespace zavtrace {

// Lines sorted by path; self times in microseconds.
void WriteFoldedStacks(FILE* out, const StackTree& paths, const RoutineTable& routines);

struct FlameOptions {
    std::string title = "zavtrace flame graph";
    int width = 1200;
    // A differential graph: per node, its change in self time from -1 (all
    // gone) to +1 (all new), coloured blue to red; empty for a plain graph.
    std::vector<double> change;
};

std::string FlameGraphSvg(const StackTree& paths, const RoutineTable& routines, const FlameOptions& options);

}  // namespace zavtrace
