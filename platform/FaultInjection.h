// Failures a test sets off on purpose (ZAVPlatformTest_FailAllocation,
// ZAVPlatformTest_FailWrite): the facilities that can fail ask here before
// they act. The library's memory manager asks too, so one count covers its
// blocks and the stand-in's heaps. Without the stand-in nothing is injected.
#pragma once

#include "ZAVPlatform.h"

#ifndef _WIN32
#include <atomic>

namespace zavplatform {

// Non-zero while an allocation failure is armed; read on the manager's
// fast path, so a disarmed process pays one load.
ZAVPLATFORM_API extern std::atomic<int> gAllocationFaultArmed;
// Counts one allocation; true when it is the one (or one of those) to refuse.
ZAVPLATFORM_API bool RefuseAllocationNow();
// Counts one file write; true when it is to fail.
ZAVPLATFORM_API bool FailWriteNow(DWORD* partialBytes);

inline bool AllocationFaultArmed() { return gAllocationFaultArmed.load(std::memory_order_relaxed) != 0; }
inline bool AllocationRefused() { return AllocationFaultArmed() && RefuseAllocationNow(); }

}  // namespace zavplatform
#else
namespace zavplatform {
inline bool AllocationFaultArmed() { return false; }
inline bool AllocationRefused() { return false; }
}  // namespace zavplatform
#endif
