// Helpers for the trace tests: scratch directories and trace files read back
// with their time fields masked.
#pragma once

#include <algorithm>
#include <cctype>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FreshProcess.h"
#include "ScratchDirectory.h"
#include "ZAVUtil1.h"
#include "WString.h"

// Every line with its time, elapsed time and date replaced by "T", "E" and
// "D", and the header's ids by "#"; lines keep their CR LF.
inline std::string Masked(const std::string& text) {
    static const std::regex message("(^|\n)[0-9]{2}:[0-9]{2}:[0-9]{2}  *-?[0-9]+\\.[0-9]{3} ");
    static const std::regex date("Date=[0-9]{2}/[0-9]{2}/[0-9]{2}={80}");
    static const std::regex ids("ProcessId=[0-9]+, ThreadId=[0-9]+");
    static const std::regex duration("Dur=[0-9]+\\.[0-9]{3} msecs");
    std::string out = std::regex_replace(text, message, "$1T E ");
    out = std::regex_replace(out, date, "Date=D");
    out = std::regex_replace(out, ids, "ProcessId=#, ThreadId=#");
    return std::regex_replace(out, duration, "Dur=X msecs");
}

inline std::string LogonId() {
    const ZAVString id = ZAV_GetLogonId();
    return std::string(id.c_str(), id.c_str() + id.length());
}

// The masked header a trace file named path begins with.
inline std::string Header(const std::string& path) {
    return "Date=D\r\nT E Trace Started. UserId=" + LogonId() + ", ProcessId=#, ThreadId=#, Log File=" + path + "\r\n";
}

// A trace to "<base>.log" in a scratch directory, started at construction
// (after the size limit, if one is given); Text(n) reads "<base><n>.log" masked.
struct ScratchTrace {
    explicit ScratchTrace(const std::string& fileBase, DWORD wrapSize = 0, DWORD maxLogSize = 0)
        : base(fileBase), name(dir.Wide(fileBase)) {
        if (maxLogSize != 0) trace.MaxLogSize(maxLogSize);
        trace.TraceStart(name.data(), wrapSize);
    }
    std::string Path(int n = 0) const { return dir.File(base + (n == 0 ? "" : std::to_string(n)) + ".log"); }
    std::string Text(int n = 0) const { return Masked(ReadFile(Path(n))); }
    // The masked lines after the header.
    std::string Body() const { return Text().substr(Header(Path()).size()); }

    ScratchDirectory dir;
    std::string base;
    WString name;
    ZAVDebug trace;
};

// The separators of the platform's paths, the usual one first.
#ifdef _WIN32
const char kSeparators[] = "\\/";
#else
const char kSeparators[] = "/";
#endif

// The trace a ZAVDebug writes when it is given no name: the program's path
// from its command line (quoted or not), without ".exe", with ".log".
inline std::string OwnTraceFile() {
    const WString line(GetCommandLineW());
    std::string program;
    if (!line.empty() && line[0] == '"')
        program.assign(line.begin() + 1, line.begin() + line.find('"', 1));
    else
        program.assign(line.begin(), line.begin() + std::min(line.find(' '), line.size()));
    if (program.size() > 4) {
        std::string extension = program.substr(program.size() - 4);
        for (char& c : extension) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (extension == ".exe") program.erase(program.size() - 4);
    }
    return program + ".log";
}

// The report lines of a heap trace, without their time prefix.
inline std::vector<std::string> ReportLines(const std::string& masked) {
    std::vector<std::string> lines;
    std::istringstream in(masked);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 4, "T E ") != 0) continue;
        line = line.substr(4, line.size() - 5);  // without "\r"
        lines.push_back(line);
    }
    return lines;
}
