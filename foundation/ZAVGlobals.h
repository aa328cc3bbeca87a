/// \file
/// Exported variables owned by the message, event-log and trace areas. They
/// hold their initial values from load on; no code of the library sets them up.
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
ZAVUTIL1_API extern LONG g_LogEntriesCount;
/// Entries allowed per window (500); the next one ends the process.
ZAVUTIL1_API extern LONG g_LogEntriesMax;
/// The timer in whole seconds (rounded up) at the current window's first entry.
ZAVUTIL1_API extern ZAVUInt64 g_FirstLogMsgTime;
/// Length of the window in seconds (14400).
ZAVUTIL1_API extern ZAVUInt64 g_LogMsgCancelTime;
