// Made the checked-in sample traces in data/: one trace that rolls over into
// a second file, begins inside a routine and ends with one still open, and a
// wrap trace dump. Run with the directory to write into.
//   zavtrace_sample_host --roll BASE RUNS: a trace of base name BASE that
//   rolls over every few runs of the scenario, for tests of traces that
//   several processes write beside each other.
#include <cstdlib>
#include <cstring>
#include <string>

#include "TraceScenario.h"

namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--roll") == 0) {
        ZAVDebug trace;
        std::u16string name = Wide(argv[2]);
        trace.TraceStart(name.data(), 0);
        trace.MaxLogSize(2000);
        for (int i = 0, runs = atoi(argv[3]); i < runs; ++i) scenario::Run(trace, scenario::Sleeps{1, 0, 0, 0, 0});
        return 0;
    }
    const std::string dir = argc > 1 ? argv[1] : ".";
    ZAV_MonitorMemory = 1;
    {
        ZAVDebug trace;
        // Pushed before the trace starts: its Pop comes without a Push line.
        const LONG early = trace.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Startup"), nullptr, 1);
        std::u16string name = Wide(dir + "/sample");
        trace.TraceStart(name.data(), 0);
        trace.MaxLogSize(1500);
        scenario::SleepMs(1);
        trace.RoutinePop(early, 0);
        scenario::Run(trace, scenario::Sleeps{2, 3, 1, 1, 1});
        void* block = ZAV_MemoryGet(4096, 0);
        trace.InsertMsg(ZAV_WIDE("a block of 4096 bytes taken"));
        ZAV_MemoryFree(block);
        // Still open when the trace closes.
        trace.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Shutdown"), nullptr, 1);
        scenario::SleepMs(1);
    }
    {
        ZAVDebug wrap;
        std::u16string name = Wide(dir + "/sample-wrap");
        wrap.TraceStart(name.data(), 1024);
        for (int i = 0; i < 4; ++i) scenario::Run(wrap, scenario::Sleeps{1, 1, 1, 1, 1});
        std::u16string title = u"Saved lines before the failure";
        wrap.TraceDumpWrap(title.data());
    }
    return 0;
}
