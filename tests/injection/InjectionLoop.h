// Failure injection in loops, as SQLite does it: a scenario runs once to
// count its allocations (or file writes), then once more for each n with
// the n-th one failing. Every run is bounded in time, must end with the
// documented result, must leave no block of the memory manager behind and
// must leave its objects usable. The stand-in's test controls make the
// failures, so this program is POSIX-only.
#pragma once

#include <signal.h>
#include <unistd.h>

#include "ZAVPlatformTest.h"
#include "debug/TraceTestSupport.h"

namespace zavtest {

// Ends the process when a run outlasts its bound: a hang fails at once
// instead of stalling the run.
inline char gHang[256];
inline void OnHang(int) {
    (void)!write(2, gHang, strlen(gHang));
    _exit(3);
}

// Blocks the memory manager's table holds, and the bytes it counts.
inline std::pair<unsigned, ZAVUInt64> LiveBlocks() {
    std::pair<unsigned, ZAVUInt64> live{0, ZAV_PoolMemBusy};
    for (const ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext)
        for (const ZAV_MemCtlEntry& e : b->Entries) live.first += e.Address != nullptr;
    return live;
}

enum class Fault { Allocation, AllocationsFromNOn, Write };
const char* const kFaultNames[] = {"allocation", "allocations from n on", "write"};

// One run of a scenario as the scenario sees it.
struct InjectedRun {
    Fault fault;
    unsigned n;                        // the failing call; 0 in the counting run
    DWORD failed;                      // failures the run met (0: the failing call was never reached)
    std::string name;                  // unique per run, for file names
    std::vector<std::string> reports;  // event-log entries the run made
    // Only a single failed allocation leaves the report of a lost line its memory.
    bool LostLinesReported() const { return fault == Fault::Allocation; }
};

// Scenarios run under the guarded, monitored runtime heap: guard words
// catch overruns on the failure paths, the table counts live blocks.
class InjectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZAV_MemoryPoolFree();
        ZAVMemAllocType = ZAVMemAllocUndefined;
        ZAV_MonitorMemory = 1;
        ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard), 0u);
    }
    void TearDown() override {
        Arm(Fault::Allocation, 0);
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
    static void Arm(Fault fault, DWORD nth) {
        ZAVPlatformTest_FailAllocation(fault == Fault::Write ? 0 : nth, fault == Fault::AllocationsFromNOn);
        ZAVPlatformTest_FailWrite(fault == Fault::Write ? nth : 0, 7, FALSE);  // a full disk takes part of a line
    }

    // One run; answers the failing calls it met, or for n = 0 the calls counted.
    template <typename Scenario>
    unsigned RunOnce(const char* title, Fault fault, unsigned n, bool warm = true) {
        InjectedRun run{fault, n, 0, dir_.File("run" + std::to_string(++runs_)), {}};
        const std::string what = std::string(title) + ", " + kFaultNames[static_cast<int>(fault)] + " n=" + std::to_string(n);
        SCOPED_TRACE(what);
        log_.Drain();
        g_LogEntriesCount = 0;  // the loops would pass the flood limit
        const auto before = LiveBlocks();
        snprintf(gHang, sizeof gHang, "HANG: %s did not finish in time\n", what.c_str());
        signal(SIGALRM, OnHang);
        alarm(10);  // enough for the largest scenario under ASan, far below ctest's timeout
        DWORD counted;
        {
            Scenario scenario(run);
            Arm(fault, n != 0 ? n : 0xFFFFFFFFu);
            scenario.Act();
            const bool write = fault == Fault::Write;
            run.failed = write ? ZAVPlatformTest_WritesFailed() : ZAVPlatformTest_AllocationsRefused();
            counted = write ? ZAVPlatformTest_WritesCounted() : ZAVPlatformTest_AllocationsCounted();
            Arm(fault, 0);
            run.reports = log_.Drain();
            scenario.Verify();
        }
        alarm(0);
        if (warm) {
            EXPECT_EQ(LiveBlocks(), before) << "blocks left behind";
        }
        // A trace's memory lines follow the process's own counters, so a run
        // may make a few calls more or fewer than the counting run.
        if (fault != Fault::AllocationsFromNOn && n != 0) {
            EXPECT_LE(run.failed, 1u);
        }
        return n == 0 ? counted : run.failed;
    }

    unsigned runs_ = 0;
};

// The lines of a trace file: each ends with CR LF and is a date, memory,
// marker or message line of its own, never torn off or glued to another
// (a line written raw, a dump's title, is named).
inline std::vector<std::string> TraceFileLines(const std::string& path, const std::string& raw) {
    static const std::regex shape(
        "Date=[0-9]{2}/[0-9]{2}/[0-9]{2}={80}|---- .*|--Trace closed and re-opened due to trace size\\.|"
        "\\.\\.\\.Memory use changed\\. Internal Pool=-?[0-9]+, -?[0-9]+\\. Process Bytes Allocated=-?[0-9]+, -?[0-9]+|"
        "[0-9]{2}:[0-9]{2}:[0-9]{2}  *-?[0-9]+\\.[0-9]{3} (.*)");
    static const std::regex stamp("[0-9]{2}:[0-9]{2}:[0-9]{2}  *-?[0-9]+\\.[0-9]{3} |Date=|\\.\\.\\.Memory use|----");
    const std::string text = ReadFile(path);
    if (!text.empty() && text.compare(text.size() - 2, 2, "\r\n") != 0) ADD_FAILURE() << path << " ends in a torn line";
    std::vector<std::string> lines;
    std::smatch parts;
    for (size_t at = 0, end; at < text.size(); at = end + 2) {
        end = std::min(text.find("\r\n", at), text.size());
        lines.push_back(text.substr(at, end - at));
        const std::string& line = lines.back();
        if (line != raw && (line.find_first_of("\r\n") != std::string::npos || !std::regex_match(line, parts, shape) ||
                            std::regex_search(parts[1].str(), stamp)))
            ADD_FAILURE() << path << ": torn or glued line \"" << line << "\"";
    }
    return lines;
}

// Whether some line of the file carries text as its message.
inline bool HasMessage(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.size() > text.size() && line.compare(line.size() - text.size() - 1, text.size() + 1, ' ' + text) == 0;
    });
}

// Whether the event log got the trace's report of a lost line with text
// (whole, or its start when whole is false).
inline bool ReportedLost(const InjectedRun& run, const std::string& text, bool whole = true) {
    const std::string quoted = "Original Text=\"" + text + (whole ? "\"" : "");
    return std::any_of(run.reports.begin(), run.reports.end(), [&](const std::string& report) {
        return report.find("ZAVDebug.InsertMsg PgmChkLoc=") != std::string::npos && report.find(quoted) != std::string::npos;
    });
}

}  // namespace zavtest
