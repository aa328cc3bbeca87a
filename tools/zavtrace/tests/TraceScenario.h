// A host's routine calls with known nesting, sleeps and return codes,
// written through the library's own trace. Shared by the tests that read
// such traces back and by the program that made the checked-in sample.
#pragma once

#include <chrono>
#include <thread>

#define ZAVUTIL1_WIN32_NAMES  // LONG, WCHAR as a Win32 host names them
#include <ZAVUtil1/ZAVUtil1.h>

namespace scenario {

constexpr LONG kNoCode = 0x7FFFFFFF;
constexpr int kLoads = 3;

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Host.Run (rc 0)
//   Work.Load x3 (rc 0, 5, 0), each: sleep load, Work.Parse (sleep parse, rc 0)
//   Work.Save (no return code), sleep save
//   Work.Fail (rc 87) with Work.Inner left without its own Pop
// A sleep of `run` in Host.Run itself, before the loads.
struct Sleeps {
    int run = 5, load = 10, parse = 4, save = 3, inner = 2;
};

inline void Run(ZAVDebug& trace, const Sleeps& s) {
    const LONG run = trace.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Run"), nullptr, 1);
    trace.InsertMsg(ZAV_WIDE("starting"));
    SleepMs(s.run);
    for (int i = 0; i < kLoads; ++i) {
        const LONG load = trace.RoutinePushReq(ZAV_WIDE("Work"), ZAV_WIDE("Load"), i, -2);
        SleepMs(s.load);
        const LONG parse = trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Parse"), ZAV_WIDE("text"), -2);
        SleepMs(s.parse);
        trace.RoutinePop(parse, 0);
        trace.RoutinePop(load, i == 1 ? 5 : 0);
    }
    const LONG save = trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Save"), nullptr, -2);
    SleepMs(s.save);
    trace.RoutinePop(save, kNoCode);
    const LONG fail = trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Fail"), nullptr, -2);
    trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Inner"), nullptr, -2);
    SleepMs(s.inner);
    trace.RoutinePop(fail, 87);  // pops Work.Inner with it
    trace.InsertMsg(ZAV_WIDE("done"));
    trace.RoutinePop(run, 0);
}

}  // namespace scenario
