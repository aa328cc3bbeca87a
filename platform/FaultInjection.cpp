#include "FaultInjection.h"

#include "ZAVPlatformTest.h"

namespace zavplatform {

std::atomic<int> gAllocationFaultArmed{0};

namespace {

// A countdown to the failing call: 1 means the next one. Once it has
// fired it stays at 0, or, persistent, every later call fails too. Every
// call is counted, so a test can learn how many a workload makes.
struct Countdown {
    std::atomic<long long> left{0};
    std::atomic<bool> persistent{false};
    std::atomic<DWORD> fired{0};
    std::atomic<DWORD> counted{0};

    void Arm(DWORD nth, bool everyLater) {
        persistent = everyLater;
        fired = 0;
        counted = 0;
        left = static_cast<long long>(nth);
    }
    bool Fire() {
        counted.fetch_add(1);
        long long now = left.load();
        while (now > 0)
            if (left.compare_exchange_weak(now, now - 1)) {
                if (now != 1) return false;
                fired.fetch_add(1);
                return true;
            }
        if (fired.load() != 0 && persistent.load()) {
            fired.fetch_add(1);
            return true;
        }
        return false;
    }
};

Countdown gAllocations, gWrites;
std::atomic<DWORD> gPartialBytes{0};

}  // namespace

bool RefuseAllocationNow() { return gAllocations.Fire(); }

bool FailWriteNow(DWORD* partialBytes) {
    if (!gWrites.Fire()) return false;
    *partialBytes = gPartialBytes.load();
    return true;
}

}  // namespace zavplatform

using namespace zavplatform;

extern "C" void ZAVPlatformTest_FailAllocation(DWORD nth, BOOL persistent) {
    gAllocationFaultArmed = 0;
    gAllocations.Arm(nth, persistent != 0);
    gAllocationFaultArmed = nth != 0 ? 1 : 0;
}

extern "C" DWORD ZAVPlatformTest_AllocationsRefused(void) { return gAllocations.fired.load(); }

extern "C" DWORD ZAVPlatformTest_AllocationsCounted(void) { return gAllocations.counted.load(); }

extern "C" void ZAVPlatformTest_FailWrite(DWORD kth, DWORD partialBytes, BOOL persistent) {
    gPartialBytes = partialBytes;
    gWrites.Arm(kth, persistent != 0);
}

extern "C" DWORD ZAVPlatformTest_WritesFailed(void) { return gWrites.fired.load(); }

extern "C" DWORD ZAVPlatformTest_WritesCounted(void) { return gWrites.counted.load(); }
