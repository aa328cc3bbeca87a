// Reads the files of one or more traces as a stream of lines and turns them
// into events: numbered files of one trace in order and as one trace,
// absolute times rebuilt from the time of day and the elapsed fields,
// damaged lines counted and skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CallModel.h"

namespace zavtrace {

struct ReadSummary {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t lines = 0;
    uint64_t garbled = 0;        // lines of no known form
    uint64_t torn = 0;           // a last line without its line end
    uint64_t continuations = 0;  // parts of a text that held a line break
    uint64_t reanchored = 0;     // times the time of day disagreed with the elapsed sum by over 2 s
    std::vector<std::string> garbledExamples;  // "file:line"
    std::vector<std::string> missingFiles;
    std::vector<std::string> followedFiles;  // numbered files found beside a given one that rolled over
    std::vector<std::string> unfollowed;     // files that rolled over into no file found
    std::vector<std::string> notTraces;      // files with no line in a trace's form
    CallAnomalies calls;
};

class TraceReader {
public:
    // paths may be null when no output form needs call paths.
    TraceReader(RoutineTable& routines, EventSink& sink, StackTree* paths)
        : routines_(routines), sink_(sink), paths_(paths) {}
    // Reads the files in TraceFileOrder; never throws for a damaged file.
    ReadSummary Read(const std::vector<std::string>& files);

private:
    RoutineTable& routines_;
    EventSink& sink_;
    StackTree* paths_;
};

// The summary as warnings on stderr; nothing when all was well.
void PrintWarnings(const ReadSummary& summary);

}  // namespace zavtrace
