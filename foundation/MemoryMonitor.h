// The monitoring table of live blocks: a chain of malloc'd table blocks that
// hosts read through g_pZAVMemCtl. Records are taken first fit (the lowest
// free record of the first table block with room) and a return clears the
// first record holding its address, as a walk from the first record would;
// a private index finds both without walking. One lock serialises updates
// and every look at g_pZAVMemCtl, so threads never share a record, the
// chain never loses a link and no call walks a chain being released.
#pragma once

#include "ZAVMemory.h"

namespace zav {

// Publishes a fresh table of one zeroed block in g_pZAVMemCtl (null when
// malloc fails). The table it replaces is left as it is, for the host that
// may still hold it.
void StartMonitorTable();
// Records a block in the published table; false when there is none or it
// is full and cannot grow.
bool MonitorRecord(void* address, DWORD size);
// Clears the record that holds the address; false when a table is
// published and no record of it holds the address.
bool MonitorForget(void* address);
// Unpublishes the table and releases every block of its chain.
void FreeMonitorTable();

}  // namespace zav
