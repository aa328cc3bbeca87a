// Failure injection in loops, as SQLite does it: a scenario runs once to
// count its allocations (or file writes), then once more for each n with
// the n-th one failing. Every run is bounded in time, must end with the
// documented result, must leave no block of the memory manager behind and
// must leave its objects usable. The stand-in's test controls make the
// failures, so this program is POSIX-only.
#pragma once

#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScratchDirectory.h"
#include "WString.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"
#include "debug/TraceTestSupport.h"

namespace zavtest {

// Ends the process with a message when a run outlasts its bound, so that a
// hang fails the test at once instead of stalling the run.
inline char gRunning[256];

inline void OnHang(int) {
    const char hang[] = "HANG: ", late[] = " did not finish in time\n";
    (void)!write(2, hang, sizeof hang - 1);
    (void)!write(2, gRunning, strlen(gRunning));
    (void)!write(2, late, sizeof late - 1);
    _exit(3);
}

inline void StartWatchdog(const std::string& what, unsigned seconds) {
    snprintf(gRunning, sizeof gRunning, "%s", what.c_str());
    signal(SIGALRM, OnHang);
    alarm(seconds);
}

// Blocks and bytes the memory manager holds (its table and its count).
struct LiveBlocks {
    unsigned blocks;
    ZAVUInt64 bytes;
    bool operator==(const LiveBlocks& o) const { return blocks == o.blocks && bytes == o.bytes; }
};

inline LiveBlocks CountLiveBlocks() {
    LiveBlocks live{0, ZAV_PoolMemBusy};
    for (const ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext)
        for (const ZAV_MemCtlEntry& e : b->Entries) live.blocks += e.Address != nullptr;
    return live;
}

inline std::ostream& operator<<(std::ostream& out, const LiveBlocks& live) {
    return out << live.blocks << " blocks, " << live.bytes << " bytes";
}

enum class Fault { Allocation, AllocationsFromNOn, Write };

inline const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::Allocation: return "allocation";
        case Fault::AllocationsFromNOn: return "allocations from n on";
        default: return "write";
    }
}

// One run of a scenario as the scenario sees it.
struct InjectedRun {
    Fault fault;
    unsigned n;        // the failing call; 0 in the counting run
    DWORD failed;      // failures the run met (0: the failing call was never reached)
    std::string name;  // unique per run, for file names
    std::vector<std::string> reports;  // event-log entries the run made

    // Every lost line is reported: only a single failed allocation leaves
    // the report its memory.
    bool LostLinesReported() const { return fault == Fault::Allocation; }
};

// Scenarios run under the guarded, monitored runtime heap: guard words
// catch overruns on the failure paths, the table counts live blocks.
class InjectionTest : public ::testing::Test {
protected:
    // Enough for the largest scenario with ASan's slowness, far below ctest's timeout.
    static constexpr unsigned kRunSeconds = 10;

    void SetUp() override {
        ZAV_MemoryPoolFree();
        ZAVMemAllocType = ZAVMemAllocUndefined;
        ZAV_MonitorMemory = 1;
        ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard), 0u);
    }
    void TearDown() override {
        ZAVPlatformTest_FailAllocation(0, FALSE);
        ZAVPlatformTest_FailWrite(0, 0, FALSE);
        ZAV_MemoryPoolFree();
        ZAV_MonitorMemory = 0;
        ZAVMemOptions = 0;
        ZAV_PoolMemBusy = 0;
        ZAVMemAllocType = ZAVMemAllocUndefined;
    }

    // Runs the scenario under every kind of failure, each call failing in turn.
    template <typename Scenario>
    void Loop(const char* title) {
        unsigned calls[3] = {}, survived[3] = {};
        for (Fault fault : {Fault::Allocation, Fault::AllocationsFromNOn, Fault::Write}) {
            const int kind = static_cast<int>(fault);
            RunOnce<Scenario>(title, fault, 0, false);  // fills the process's lazy caches
            calls[kind] = RunOnce<Scenario>(title, fault, 0);
            for (unsigned n = 1; n <= calls[kind] && !HasFailure(); ++n)
                survived[kind] += RunOnce<Scenario>(title, fault, n) != 0;
        }
        printf("[injection] %s: %u of %u allocations failed singly, %u from n on, %u of %u writes\n", title,
               survived[0], calls[0], survived[1], survived[2], calls[2]);
        EXPECT_GT(survived[0] + survived[1] + survived[2], 0u) << "no failure was injected";
    }

    ScratchDirectory dir_{"zavinject"};
    EventLogCapture log_;

private:
    // One run; answers the failing calls it met, or for n = 0 the calls counted.
    template <typename Scenario>
    unsigned RunOnce(const char* title, Fault fault, unsigned n, bool warm = true) {
        InjectedRun run{fault, n, 0, dir_.File("run" + std::to_string(++runs_)), {}};
        SCOPED_TRACE(std::string(title) + ", " + FaultName(fault) + " n=" + std::to_string(n));
        log_.Drain();
        g_LogEntriesCount = 0;  // the loops would pass the flood limit
        const LiveBlocks before = CountLiveBlocks();
        StartWatchdog(std::string(title) + " with " + FaultName(fault) + " " + std::to_string(n) + " failing",
                      kRunSeconds);
        {
            Scenario scenario(run);
            const DWORD nth = n != 0 ? n : 0xFFFFFFFFu;
            if (fault == Fault::Write)
                ZAVPlatformTest_FailWrite(nth, 7, FALSE);  // a full disk takes part of a line
            else
                ZAVPlatformTest_FailAllocation(nth, fault == Fault::AllocationsFromNOn);
            scenario.Act();
            run.failed = fault == Fault::Write ? ZAVPlatformTest_WritesFailed() : ZAVPlatformTest_AllocationsRefused();
            const DWORD counted =
                fault == Fault::Write ? ZAVPlatformTest_WritesCounted() : ZAVPlatformTest_AllocationsCounted();
            ZAVPlatformTest_FailAllocation(0, FALSE);
            ZAVPlatformTest_FailWrite(0, 0, FALSE);
            run.reports = log_.Drain();
            scenario.Verify();
            if (n == 0) run.failed = counted;
        }
        alarm(0);
        if (warm) {
            EXPECT_EQ(CountLiveBlocks(), before) << "blocks left behind";
        }
        // A trace's memory lines follow the process's own counters, so a
        // run may make a few calls more or fewer than the counting run.
        if (fault != Fault::AllocationsFromNOn && n != 0) {
            EXPECT_LE(run.failed, 1u);
        }
        return run.failed;
    }

    unsigned runs_ = 0;
};

// The lines of a trace file, checked for shape: each ends with CR LF, and
// each is a date, memory, marker or message line of its own, never torn
// off or glued to another.
// Lines written raw (a dump's title) are named in rawLines.
inline std::vector<std::string> TraceFileLines(const std::string& path,
                                               const std::vector<std::string>& rawLines = {}) {
    static const std::regex date("Date=[0-9]{2}/[0-9]{2}/[0-9]{2}={80}");
    static const std::regex memory(
        "\\.\\.\\.Memory use changed\\. Internal Pool=-?[0-9]+, -?[0-9]+\\. Process Bytes Allocated=-?[0-9]+, -?[0-9]+");
    static const std::regex message("[0-9]{2}:[0-9]{2}:[0-9]{2}  *-?[0-9]+\\.[0-9]{3} (.*)");
    static const std::regex stamp("[0-9]{2}:[0-9]{2}:[0-9]{2}  *-?[0-9]+\\.[0-9]{3} |Date=|\\.\\.\\.Memory use|----");
    const std::string text = ReadFile(path);
    std::vector<std::string> lines;
    if (!text.empty() && text.compare(text.size() - 2, 2, "\r\n") != 0) ADD_FAILURE() << path << " ends in a torn line";
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        std::smatch parts;
        const bool shaped = line.find_first_of("\r\n") == std::string::npos &&
                            (std::regex_match(line, date) || std::regex_match(line, memory) ||
                             line.compare(0, 5, "---- ") == 0 || line == "--Trace closed and re-opened due to trace size." ||
                             std::find(rawLines.begin(), rawLines.end(), line) != rawLines.end() ||
                             (std::regex_match(line, parts, message) && !std::regex_search(parts[1].str(), stamp)));
        if (!shaped) ADD_FAILURE() << path << ": torn or glued line \"" << line << "\"";
        lines.push_back(line);
    }
    return lines;
}

// Whether some line of the file carries text as its message.
inline bool HasMessage(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines)
        if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0 &&
            line.find(' ' + text) != std::string::npos)
            return true;
    return false;
}

// Whether the event log got the trace's report of a lost line with text
// (whole, or its start when whole is false).
inline bool ReportedLost(const InjectedRun& run, const std::string& text, bool whole = true) {
    const std::string quoted = "Original Text=\"" + text + (whole ? "\"" : "");
    for (const std::string& report : run.reports)
        if (report.find("ZAVDebug.InsertMsg PgmChkLoc=") != std::string::npos && report.find(quoted) != std::string::npos)
            return true;
    return false;
}

}  // namespace zavtest
