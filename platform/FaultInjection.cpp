#include "FaultInjection.h"

#include "TestControls.h"

namespace zavplatform {

std::atomic<int> gAllocationFaultArmed{0};

bool RefuseAllocationNow() { return Controls().allocations.Fire(); }

bool FailWriteNow(DWORD* partialBytes) {
    TestControls& controls = Controls();
    if (!controls.writes.Fire()) return false;
    *partialBytes = controls.partialWriteBytes.load();
    return true;
}

}  // namespace zavplatform
