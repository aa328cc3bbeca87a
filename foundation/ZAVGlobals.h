/// \file
/// Exported variables owned by the message, event-log and trace areas. They
/// hold their initial values from load on; no code of the library sets them up.
///
/// Shared state, the rule for every exported variable (these and the memory
/// manager's in ZAVMemory.h):
/// - Counters and switches that calls on any thread read or write are atomic
///   words: the library reaches them only through the atomic helpers of
///   ZAVCompiler.h, never plainly. They are ZAVMemAllocType (its release store
///   publishes hZAVHeap and the table), ZAVMemOptions, ZAV_MonitorMemory,
///   ZAV_PoolMemBusy, g_pZAVMemCtl and the four event-log limit variables.
///   A host may read them at any time and write them while no call runs.
/// - hZAVHeap is written only by ZAV_MemoryDefine and ZAV_MemoryPoolFree,
///   under the manager's lock; defining and freeing the pool are set-up and
///   tear-down steps that no other memory call may overlap.
/// - gptrZAVMsgAnchor is a list without a lock and gptrCDebug is the host's:
///   the library never synchronises them; a host that shares them does.
/// - A trace object (ZAVDebug) belongs to one thread at a time. Different
///   objects share nothing that needs a lock: their re-entry guards are
///   per thread, and the memory counters they print are read atomically.
/// - The event-log limit is exact for one thread and approximate under
///   several (see ZAVEventLog.h).
#pragma once

#include "ZAVExport.h"
#include "ZAVList.h"

class ZAVDebug;

/// The process-wide message list: zero-filled, a list without a lock.
ZAVUTIL1_API extern ZAVLinkAnchor gptrZAVMsgAnchor;
/// The host's trace object; the library never reads it.
ZAVUTIL1_API extern ZAVDebug* gptrCDebug;

// The event log's flood limit.
/// Entries written in the current window (incremented atomically).
ZAVUTIL1_API extern zav::win::LONG g_LogEntriesCount;
/// Entries allowed per window (500); the next one ends the process.
ZAVUTIL1_API extern zav::win::LONG g_LogEntriesMax;
/// The timer in whole seconds (rounded up) at the current window's first entry.
ZAVUTIL1_API extern ZAVUInt64 g_FirstLogMsgTime;
/// Length of the window in seconds (14400).
ZAVUTIL1_API extern ZAVUInt64 g_LogMsgCancelTime;
