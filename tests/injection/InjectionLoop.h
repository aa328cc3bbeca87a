// Failure injection in loops, as SQLite does it: a scenario runs once to
// count its allocations (or file writes), then once more for each n with
// the n-th one failing. Every run is bounded in time, must end with the
// documented result, must leave no block of the memory manager behind and
// must leave its objects usable. The stand-in's test controls make the
// failures, so this program is POSIX-only.
#pragma once

#include <unistd.h>

#include "ZAVPlatformTest.h"
#include "debug/TraceTestSupport.h"

namespace zavtest {

enum class Fault { Allocation, AllocationsFromNOn, Write };
const char* const kFaultNames[] = {"allocation", "allocations from n on", "write"};

// One run of a scenario as the scenario sees it.
struct InjectedRun {
    Fault fault;
    unsigned n;                        // the failing call; 0 in the counting run
    DWORD failed;                      // failures the run met (0: the failing call was never reached)
    std::string name;                  // unique per run, for file names
    std::vector<std::string> reports;  // event-log entries the run made
};

// Scenarios run under the guarded, monitored runtime heap: guard words
// catch overruns on the failure paths, the pool counts the live blocks' bytes.
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
    }

    // Runs the scenario under every kind of failure, each call failing in turn.
    template <typename Scenario>
    void Loop() {
        unsigned injected = 0;
        for (Fault fault : {Fault::Allocation, Fault::AllocationsFromNOn, Fault::Write}) {
            RunOnce<Scenario>(fault, 0, false);  // fills the process's lazy caches
            const unsigned calls = RunOnce<Scenario>(fault, 0);
            for (unsigned n = 1; n <= calls && !HasFailure(); ++n) injected += RunOnce<Scenario>(fault, n);
        }
        EXPECT_GT(injected, 0u) << "no failure was injected";
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
    unsigned RunOnce(Fault fault, unsigned n, bool warm = true) {
        InjectedRun run{fault, n, 0, dir_.File("run" + std::to_string(++runs_)), {}};
        SCOPED_TRACE(std::string(kFaultNames[static_cast<int>(fault)]) + " n=" + std::to_string(n));
        log_.Drain();
        g_LogEntriesCount = 0;  // the loops would pass the flood limit
        const ZAVUInt64 before = ZAV_PoolMemBusy;
        alarm(10);  // a hang ends the process: enough for the largest scenario under ASan, far below ctest's timeout
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
        EXPECT_TRUE(!warm || ZAV_PoolMemBusy == before) << "blocks left behind: " << ZAV_PoolMemBusy - before << " bytes";
        // A trace's memory lines follow the process's own counters, so a run
        // may make a few calls more or fewer than the counting run.
        EXPECT_TRUE(fault == Fault::AllocationsFromNOn || n == 0 || run.failed <= 1) << run.failed;
        return n == 0 ? counted : run.failed;
    }

    unsigned runs_ = 0;
};

}  // namespace zavtest
