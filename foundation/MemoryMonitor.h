// The monitoring table of live blocks: a chain of malloc'd table blocks,
// scanned first fit. Records are claimed and released with atomic operations
// on their Address, so threads that obtain and return blocks at once never
// share a record or lose a chain link.
#pragma once

#include "ZAVMemory.h"

namespace zav {

// A zeroed table block from malloc, or null.
ZAV_MemCtlBlock* NewMonitorBlock();
// Records a block; false when the table is full and cannot grow.
bool MonitorRecord(ZAV_MemCtlBlock* first, void* address, DWORD size);
// Clears the record that holds the address; false when none does.
bool MonitorForget(ZAV_MemCtlBlock* first, void* address);
void FreeMonitorChain(ZAV_MemCtlBlock* first);

}  // namespace zav
