#include "TimerArithmetic.h"
#include "ZAVFrame.h"

namespace {

struct CounterState {
    bool available;
    int64_t frequency;
};

const CounterState& Counter() {
    // Queried once; a failure selects the tick path for good.
    static const CounterState state = [] {
        LARGE_INTEGER f;
        f.QuadPart = 0;
        bool ok = QueryPerformanceFrequency(&f) != 0 && f.QuadPart > 0;
        return CounterState{ok, f.QuadPart};
    }();
    return state;
}

zav::TickWidener gTicks;

}  // namespace

ZAVUInt64 ZAV_TimerValue() {
    const CounterState& counter = Counter();
    if (counter.available) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return zav::CountToMicroseconds(now.QuadPart, counter.frequency);
    }
    return gTicks.Milliseconds([] { return static_cast<uint32_t>(GetTickCount()); }) * 1000u;
}
