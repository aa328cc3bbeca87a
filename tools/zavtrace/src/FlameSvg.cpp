#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <vector>

#include <fmt/format.h>

#include "CallPaths.h"
#include "FlameScript.h"
#include "TextEncoding.h"

namespace zavtrace {
namespace {

constexpr int kFrameHeight = 16;
constexpr int kTop = 36;      // room for the title
constexpr int kBottom = 24;   // room for the note under the root
constexpr int kSide = 10;
constexpr double kNarrowest = 0.1;  // frames narrower than this (pixels) are left out
constexpr double kCharWidth = 7.0;  // 12 px Verdana, on average

// A warm colour fixed by the name, so a routine keeps its colour across graphs.
std::string Colour(const std::string& name) {
    const size_t h = std::hash<std::string>{}(name);
    return fmt::format("rgb({},{},{})", 205 + h % 50, 60 + (h / 50) % 170, (h / 8500) % 55);
}

// White for no change, towards red for more time, towards blue for less.
std::string ChangeColour(double change) {
    const int fade = static_cast<int>(255 - 200 * std::min(1.0, std::abs(change)));
    return change >= 0 ? fmt::format("rgb(255,{0},{0})", fade) : fmt::format("rgb({0},{0},255)", fade);
}

std::string Ms(int64_t us) { return fmt::format("{:.3f} ms", us / 1000.0); }

}  // namespace

std::string FlameGraphSvg(const StackTree& paths, const RoutineTable& routines, const FlameOptions& options) {
    const auto& nodes = paths.Nodes();
    const size_t count = nodes.size();
    std::vector<int64_t> total(count, 0);
    std::vector<int> depth(count, 0);
    std::vector<std::vector<uint32_t>> children(count);
    for (size_t id = count - 1; id >= 1; --id) {
        total[id] += nodes[id].selfUs;
        total[nodes[id].parent] += total[id];
    }
    int maxDepth = 0;
    for (size_t id = 1; id < count; ++id) {
        depth[id] = depth[nodes[id].parent] + 1;
        children[nodes[id].parent].push_back(static_cast<uint32_t>(id));
    }
    const double usable = std::max(options.width - 2 * kSide, 100);
    const double scale = total[0] > 0 ? usable / static_cast<double>(total[0]) : 0;
    std::vector<std::string> names(count);
    names[0] = "all";
    for (size_t id = 1; id < count; ++id) names[id] = ToUtf8(routines.Name(nodes[id].routine));
    for (auto& list : children)
        std::sort(list.begin(), list.end(), [&](uint32_t a, uint32_t b) { return names[a] < names[b]; });

    // Place the frames: children side by side from their parent's left edge.
    std::vector<double> x(count, kSide);
    std::vector<uint32_t> shown;
    std::vector<uint32_t> pending{0};
    while (!pending.empty()) {
        const uint32_t id = pending.back();
        pending.pop_back();
        if (total[id] * scale < kNarrowest) continue;
        shown.push_back(id);
        maxDepth = std::max(maxDepth, depth[id]);
        double left = x[id];
        for (uint32_t child : children[id]) {
            x[child] = left;
            left += total[child] * scale;
            pending.push_back(child);
        }
    }
    std::sort(shown.begin(), shown.end());

    const int height = kTop + (maxDepth + 1) * kFrameHeight + kBottom;
    std::string svg;
    auto out = std::back_inserter(svg);
    fmt::format_to(out,
                   "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"{0}\" height=\"{1}\" "
                   "viewBox=\"0 0 {0} {1}\" data-side=\"{3}\" data-usable=\"{4:.2f}\">\n"
                   "<rect x=\"0\" y=\"0\" width=\"{0}\" height=\"{1}\" fill=\"#f8f8f0\"/>\n"
                   "<text x=\"{2}\" y=\"24\" font-family=\"Verdana,sans-serif\" font-size=\"17\" "
                   "text-anchor=\"middle\">",
                   options.width, height, options.width / 2, kSide, usable);
    AppendXmlText(svg, options.title);
    svg += "</text>\n";
    fmt::format_to(out,
                   "<text id=\"unzoom\" x=\"{0}\" y=\"24\" font-family=\"Verdana,sans-serif\" font-size=\"12\" "
                   "style=\"display:none;cursor:pointer\">Reset zoom</text>\n"
                   "<text id=\"search\" x=\"{1}\" y=\"24\" font-family=\"Verdana,sans-serif\" font-size=\"12\" "
                   "text-anchor=\"end\" style=\"cursor:pointer\">Search</text>\n"
                   "<text id=\"matched\" x=\"{1}\" y=\"{2}\" font-family=\"Verdana,sans-serif\" font-size=\"12\" "
                   "text-anchor=\"end\"></text>\n",
                   kSide, options.width - kSide, height - 6);
    for (uint32_t id : shown) {
        const double width = total[id] * scale;
        const double left = x[id];
        const int y = height - kBottom - (depth[id] + 1) * kFrameHeight;
        svg += "<g class=\"f\" data-name=\"";
        AppendXmlText(svg, names[id]);
        svg += "\"><title>";
        AppendXmlText(svg, names[id]);
        fmt::format_to(out, " ({}, {:.2f}%", Ms(total[id]), 100.0 * total[id] / total[0]);
        if (id != 0) fmt::format_to(out, "; self {}", Ms(nodes[id].selfUs));
        fmt::format_to(out,
                       ")</title><rect x=\"{:.2f}\" y=\"{}\" width=\"{:.2f}\" height=\"{}\" fill=\"{}\" rx=\"2\" "
                       "ry=\"2\"/>",
                       left, y, width, kFrameHeight - 1, id == 0                                       ? std::string("rgb(200,200,200)")
                       : id < options.change.size() ? ChangeColour(options.change[id])
                                                    : Colour(names[id]));
        const size_t fits = static_cast<size_t>((width - 6) / kCharWidth);
        if (fits >= 3) {
            fmt::format_to(out, "<text x=\"{:.2f}\" y=\"{}\" font-family=\"Verdana,sans-serif\" font-size=\"12\">",
                           left + 3, y + kFrameHeight - 4);
            const std::string& name = names[id];
            AppendXmlText(svg, name.size() <= fits ? name : name.substr(0, fits - 2) + "..");
            svg += "</text>";
        }
        svg += "</g>\n";
    }
    fmt::format_to(out,
                   "<text id=\"details\" x=\"{}\" y=\"{}\" font-family=\"Verdana,sans-serif\" "
                   "font-size=\"12\">{}</text>\n<script type=\"text/ecmascript\"><![CDATA[{}]]></script>\n</svg>\n",
                   kSide, height - 6,
                   total[0] > 0 ? "Width: time spent. Click a frame to zoom, Search (or Ctrl+F) to find frames."
                                : "No routine calls in this trace.",
                   kFlameScript);
    return svg;
}

}  // namespace zavtrace
