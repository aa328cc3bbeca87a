#include "TraceFiles.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string_view>
#include <system_error>

#include "TraceLine.h"

namespace zavtrace {
namespace {

constexpr int kDaySeconds = 86400;
// A header line is written at the routine level of the moment: room for a
// deep stack's indentation.
constexpr size_t kLongestHeadLine = size_t(8) << 20;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

// The next line of a file without its line end; false at the end of the
// file or past kLongestHeadLine.
bool NextLine(FILE* file, std::string& line) {
    line.clear();
    char block[4096];
    while (fgets(block, sizeof block, file) != nullptr) {
        line += block;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (line.size() > kLongestHeadLine) return false;
    }
    return !line.empty();
}

// Seconds from `from` to `to` on a 24-hour clock, in [0, 86400).
int SecondsAfter(int from, int to) { return ((to - from) % kDaySeconds + kDaySeconds) % kDaySeconds; }

}  // namespace

NumberedName SplitNumbered(const std::string& path) {
    NumberedName name{path, -1};
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (path.size() - nameStart <= 4 || Lower(path.substr(path.size() - 4)) != ".log") return name;
    size_t digits = path.size() - 4;
    while (digits > nameStart && path[digits - 1] >= '0' && path[digits - 1] <= '9') --digits;
    const size_t count = path.size() - 4 - digits;
    if (count > 9) return name;  // too many digits for a counter: a name of its own
    name.base = path.substr(0, digits);
    if (count > 0) name.number = std::stoll(path.substr(digits, count));
    return name;
}

FileHead ReadHead(const std::string& path) {
    FileHead head;
    std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path.c_str(), "rb"), fclose);
    if (!file) return head;
    std::string line;
    // A date line and a memory line may come first.
    for (int i = 0; i < 4 && NextLine(file.get(), line); ++i) {
        const ParsedLine parsed = ParseLine(line);
        if (parsed.kind != LineKind::Message) continue;
        head.found = ParseHeader(parsed.text, head.processId, head.threadId);
        head.timeOfDay = parsed.timeOfDay;
        return head;
    }
    return head;
}

std::string FindContinuation(const std::string& path, uint32_t processId, uint32_t threadId, int timeOfDay,
                             const std::vector<std::string>& given, const std::set<std::string>& taken) {
    const NumberedName current = SplitNumbered(path);
    if (current.base == path) return {};
    const size_t slash = current.base.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : current.base.substr(0, slash + 1);
    std::map<long long, std::string> candidates;
    auto consider = [&](const std::string& candidate) {
        const NumberedName name = SplitNumbered(candidate);
        if (name.base == current.base && name.number > current.number && taken.count(candidate) == 0)
            candidates.emplace(name.number, candidate);
    };
    for (const std::string& candidate : given) consider(candidate);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string candidate = entry.path().string();
        if (slash == std::string::npos && candidate.compare(0, 2, "./") == 0) candidate.erase(0, 2);
        consider(candidate);
    }
    for (const auto& [number, candidate] : candidates) {
        const FileHead head = ReadHead(candidate);
        // The new file's header follows the roll-over line at once; a second's
        // rounding either way.
        const int after = SecondsAfter(timeOfDay, head.timeOfDay);
        if (head.found && head.processId == processId && head.threadId == threadId &&
            (after <= 30 || after >= kDaySeconds - 2))
            return candidate;
    }
    return {};
}

std::vector<std::string> TraceFileOrder(const std::vector<std::string>& files) {
    struct Numbered {
        long long number;
        std::string path;
        bool operator<(const Numbered& o) const { return number != o.number ? number < o.number : path < o.path; }
    };
    std::vector<std::string> keys;
    std::map<std::string, std::set<Numbered>> groups;
    for (const std::string& path : files) {
        const NumberedName name = SplitNumbered(path);
        if (groups.find(name.base) == groups.end()) keys.push_back(name.base);
        groups[name.base].insert({name.number, path});
    }
    std::vector<std::string> order;
    for (const std::string& key : keys)
        for (const Numbered& n : groups[key]) order.push_back(n.path);
    return order;
}

}  // namespace zavtrace
