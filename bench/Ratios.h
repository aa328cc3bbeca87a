// Each benchmark of ours is paired with a peer measured in the same run;
// what counts is the ratio of their CPU times, printed after the usual table.
#pragma once

#include <string>

namespace zavbench {

// After the run: "ours / peer = ratio (target <= limit)"; a limit of 0
// reports the ratio without a target.
void DeclareRatio(const std::string& ours, const std::string& peer, double limit);

}  // namespace zavbench
