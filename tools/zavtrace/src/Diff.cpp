#include "Diff.h"

#include <algorithm>
#include <cmath>
#include <map>

#include <fmt/format.h>

namespace zavtrace {

std::vector<DiffRow> DiffProfiles(const std::vector<ProfileRow>& a, const std::vector<ProfileRow>& b) {
    std::map<std::string, DiffRow> rows;
    for (const ProfileRow& r : a) {
        DiffRow& d = rows[r.name];
        d.name = r.name;
        d.callsA += r.calls, d.selfA += r.selfMs, d.totalA += r.totalMs;
    }
    for (const ProfileRow& r : b) {
        DiffRow& d = rows[r.name];
        d.name = r.name;
        d.callsB += r.calls, d.selfB += r.selfMs, d.totalB += r.totalMs;
    }
    std::vector<DiffRow> sorted;
    for (auto& [name, row] : rows) sorted.push_back(row);
    std::stable_sort(sorted.begin(), sorted.end(), [](const DiffRow& x, const DiffRow& y) {
        return std::abs(x.totalB - x.totalA) > std::abs(y.totalB - y.totalA);
    });
    return sorted;
}

void WriteDiff(FILE* out, const std::vector<DiffRow>& rows) {
    size_t width = 7;
    for (const DiffRow& r : rows) width = std::max(width, r.name.size());
    fmt::print(out, "{:<{}}  {:>8}  {:>8}  {:>12}  {:>12}  {:>12}  {:>12}  {:>12}  {:>8}\n", "Routine", width, "Calls A",
               "Calls B", "Self ms A", "Self ms B", "Total ms A", "Total ms B", "Change ms", "Change");
    for (const DiffRow& r : rows) {
        const double change = r.totalB - r.totalA;
        const std::string ratio = r.totalA > 0 ? fmt::format("{:+.1f}%", 100.0 * change / r.totalA) : "new";
        fmt::print(out, "{:<{}}  {:>8}  {:>8}  {:>12.3f}  {:>12.3f}  {:>12.3f}  {:>12.3f}  {:>+12.3f}  {:>8}\n", r.name,
                   width, r.callsA, r.callsB, r.selfA, r.selfB, r.totalA, r.totalB, change,
                   r.totalB == 0 && r.totalA > 0 ? "gone" : ratio);
    }
}

std::vector<double> PathChanges(const StackTree& a, const StackTree& b) {
    const auto& nodes = b.Nodes();
    std::vector<uint32_t> inA(nodes.size(), 0);  // the same path in a; 0: none
    std::vector<double> change(nodes.size(), 0);
    double largest = 0;
    // Parents come first: a path is found in a from its parent's.
    for (size_t id = 1; id < nodes.size(); ++id) {
        const uint32_t parent = nodes[id].parent;
        inA[id] = parent != 0 && inA[parent] == 0 ? 0 : a.Find(inA[parent], nodes[id].routine);
        const int64_t before = inA[id] != 0 ? a.Nodes()[inA[id]].selfUs : 0;
        change[id] = static_cast<double>(nodes[id].selfUs - before);
        largest = std::max(largest, std::abs(change[id]));
    }
    if (largest > 0)
        for (double& c : change) c /= largest;
    return change;
}

}  // namespace zavtrace
