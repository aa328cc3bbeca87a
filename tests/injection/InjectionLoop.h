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

enum class Fault { Allocation, AllocationsFromNOn, Write };

// One run of a scenario as the scenario sees it.
struct InjectedRun {
    Fault fault;
    DWORD failed;                      // failures the run met (0: the failing call was never reached)
    std::string name;                  // unique per run, for file names
    std::vector<std::string> reports;  // event-log entries the run made
};

// Scenarios run under the guarded, monitored runtime heap: guard words
// catch overruns on the failure paths, the pool counts the live blocks' bytes.
class InjectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        Arm(Fault::Allocation, 0);
        ZAV_MemoryPoolFree();
    }

    // Runs the scenario under every kind of failure, each call failing in turn.
    template <typename Scenario>
    void Loop() {
        ZAV_MemoryPoolFree();
        ZAVMemAllocType = ZAVMemAllocUndefined;
        ZAV_MonitorMemory = 1;
        ASSERT_EQ(ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard), 0u);
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
        InjectedRun run{fault, 0, dir_.File("run" + std::to_string(++runs_)), {}};
        static std::string hung;  // for the alarm's handler, which may only write
        hung = "hung: fault " + std::to_string(static_cast<int>(fault)) + " n=" + std::to_string(n) + "\n";
        SCOPED_TRACE(hung);
        log_.Drain();
        g_LogEntriesCount = 0;  // the loops would pass the flood limit
        const ZAVUInt64 before = ZAV_PoolMemBusy;
        // A hang ends the process, naming its run: the bound is enough for the
        // largest scenario under ASan, far below ctest's timeout.
        signal(SIGALRM, [](int) { _exit(write(STDERR_FILENO, hung.data(), hung.size()) < 0 ? 2 : 3); });
        alarm(10);
        DWORD counted;
        {
            Scenario scenario;
            Arm(fault, n != 0 ? n : 0xFFFFFFFFu);
            scenario.Act(run);
            const bool write = fault == Fault::Write;
            run.failed = write ? ZAVPlatformTest_WritesFailed() : ZAVPlatformTest_AllocationsRefused();
            counted = write ? ZAVPlatformTest_WritesCounted() : ZAVPlatformTest_AllocationsCounted();
            Arm(fault, 0);
            run.reports = log_.Drain();
            scenario.Verify(run);
        }
        alarm(0);
        EXPECT_TRUE(!warm || ZAV_PoolMemBusy == before) << "blocks left behind: " << ZAV_PoolMemBusy - before << " bytes";
        return n == 0 ? counted : run.failed;
    }

    unsigned runs_ = 0;
};
