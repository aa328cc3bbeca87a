// Helpers for the trace tests: trace files in scratch directories, read back
// with their time fields masked, and (POSIX) the stand-in's system log read
// back from a datagram socket of the test.
#pragma once

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZAVUtil1.h"

#ifndef _WIN32
#include "ZAVPlatformTest.h"
#include "platform/LogReceiver.h"

// The stand-in's syslog lines, with room for the many reports of a loop.
struct EventLogCapture : zavtest::LogReceiver {
    EventLogCapture() : LogReceiver(4 << 20) { ZAVPlatformTest_SetEventLogSocket(path().c_str()); }
    ~EventLogCapture() { ZAVPlatformTest_SetEventLogSocket(nullptr); }
};
#endif

// Each line's time, elapsed time and date replaced by "T", "E" and "D", the
// header's ids by "#" and durations by "X"; lines keep their CR LF.
inline std::string Masked(const std::string& text) {
    static const std::pair<std::regex, const char*> masks[] = {
        {std::regex("(^|\n)[0-9]{2}:[0-9]{2}:[0-9]{2}  *-?[0-9]+\\.[0-9]{3} "), "$1T E "},
        {std::regex("Date=[0-9]{2}/[0-9]{2}/[0-9]{2}={80}"), "Date=D"},
        {std::regex("ProcessId=[0-9]+, ThreadId=[0-9]+"), "ProcessId=#, ThreadId=#"},
        {std::regex("Dur=[0-9]+\\.[0-9]{3} msecs"), "Dur=X msecs"}};
    std::string out = text;
    for (const auto& mask : masks) out = std::regex_replace(out, mask.first, mask.second);
    return out;
}

// The masked header a trace file named path begins with.
inline std::string Header(const std::string& path) {
    const ZAVString id = ZAV_GetLogonId();
    return "Date=D\r\nT E Trace Started. UserId=" + std::string(id.c_str(), id.c_str() + id.length()) +
           ", ProcessId=#, ThreadId=#, Log File=" + path + "\r\n";
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
    std::string Body() const { return Text().substr(Header(Path()).size()); }  // the lines after the header

    ScratchDirectory dir;
    std::string base;
    WString name;
    ZAVDebug trace;
};

// The trace a ZAVDebug writes when given no name: the program's path from
// its command line (quoted or not), without ".exe", with ".log".
inline std::string OwnTraceFile() {
    const WString line(GetCommandLineW());
    const size_t from = !line.empty() && line[0] == '"', to = line.find(from ? '"' : ' ', from);
    std::string program(line.begin() + from, line.begin() + std::min(to, line.size()));
    if (program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0) program.erase(program.size() - 4);
    return program + ".log";
}

// The masked report lines of a trace, without their time prefix and CR.
inline std::vector<std::string> ReportLines(const std::string& masked) {
    std::vector<std::string> lines;
    std::istringstream in(masked);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, 4, "T E ") == 0) lines.push_back(line.substr(4, line.size() - 5));
    return lines;
}
