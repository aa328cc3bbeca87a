// The monitoring table of live blocks: a chain of malloc'd table blocks that
// hosts read through g_pZAVMemCtl. Records are taken first fit (the lowest
// free record of the first table block with room) and a return clears the
// first record holding its address, as a walk from the first record would;
// a private index finds both without walking. One lock serialises updates
// (BiasedLock.h: no atomic instruction for a thread that takes it many times
// in a row), so threads never share a record and the chain never loses a
// link; the byte count changes under it too while a table exists.
#pragma once

#include "ZAVMemory.h"

namespace zav {

// Starts a table of one zeroed block (null when malloc fails). The table it
// replaces is left as it is, for the host that may still hold it.
ZAV_MemCtlBlock* StartMonitorTable();
// Records a block and adds heapBytes to ZAV_PoolMemBusy; false when the
// table is full and cannot grow (the bytes are counted all the same).
bool MonitorRecord(ZAV_MemCtlBlock* first, void* address, DWORD size, ZAVUInt64 heapBytes);
// Clears the record that holds the address and takes heapBytes from
// ZAV_PoolMemBusy; false when no record holds it.
bool MonitorForget(ZAV_MemCtlBlock* first, void* address, ZAVUInt64 heapBytes);
// Releases every block of the chain.
void FreeMonitorChain(ZAV_MemCtlBlock* first);

}  // namespace zav
