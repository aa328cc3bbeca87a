#include <algorithm>
#include <utility>
#include <vector>

#include <fmt/core.h>

#include "CallPaths.h"
#include "TextEncoding.h"

namespace zavtrace {

void WriteFoldedStacks(FILE* out, const StackTree& paths, const RoutineTable& routines) {
    const auto& nodes = paths.Nodes();
    // A node's path is its parent's path and its own name; parents come first.
    std::vector<std::string> path(nodes.size());
    std::vector<std::pair<std::string, int64_t>> lines;
    for (size_t id = 1; id < nodes.size(); ++id) {
        // The separators of the folded form may not appear inside a frame.
        std::string name = ToUtf8(routines.Name(nodes[id].routine));
        std::replace(name.begin(), name.end(), ';', ':');
        std::replace(name.begin(), name.end(), ' ', '_');
        path[id] = nodes[id].parent == 0 ? name : path[nodes[id].parent] + ";" + name;
        if (nodes[id].selfUs > 0) lines.emplace_back(path[id], nodes[id].selfUs);
    }
    std::sort(lines.begin(), lines.end());
    for (const auto& [stack, us] : lines) fmt::print(out, "{} {}\n", stack, us);
}

}  // namespace zavtrace
