// Each benchmark of ours is paired with a peer measured in the same run;
// what counts is the ratio, printed after the usual table.
#pragma once

#include <string>

namespace zavbench {

// After the run: "ours / peer = ratio (target <= limit)".
void DeclareRatio(const std::string& ours, const std::string& peer, double limit);

}  // namespace zavbench
