// The files of a trace: numbered names (base.log, base1.log, ...), the
// identity a file's header line records, and which file a roll-over went
// on in.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace zavtrace {

// A trace file's name as its base (the path up to the counter) and its
// counter: -1 for the unnumbered first file, or for a name that is not a
// trace file's (whose base is then the whole path).
struct NumberedName {
    std::string base;
    long long number = -1;
};
NumberedName SplitNumbered(const std::string& path);

// Who wrote a file: its header line's process and thread, and the time of
// day of that line.
struct FileHead {
    bool found = false;
    uint32_t processId = 0;
    uint32_t threadId = 0;
    int timeOfDay = 0;
};
// Looks at the first lines only, however long their indentation.
FileHead ReadHead(const std::string& path);

// The file a roll-over of `path` went on in: of the same base, among the
// files beside it and `given`, the lowest higher counter whose header names
// the same process and thread and was written when the roll-over happened
// (within seconds of `timeOfDay`); empty when there is none. Files in `taken`
// are passed over.
std::string FindContinuation(const std::string& path, uint32_t processId, uint32_t threadId, int timeOfDay,
                             const std::vector<std::string>& given, const std::set<std::string>& taken);

// The order in which files are read: as given, except that the numbered
// files of one base are read together in their number order, where the
// first of them stands.
std::vector<std::string> TraceFileOrder(const std::vector<std::string>& files);

}  // namespace zavtrace
