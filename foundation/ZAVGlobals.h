// Exported variables owned by the message, event-log and trace areas. They
// hold their initial values from load on; no code of the library sets them up.
#pragma once

#include "ZAVExport.h"
#include "ZAVList.h"

class ZAVDebug;

// The process-wide message list: zero-filled, a list without a lock.
ZAVUTIL1_API extern ZAVLinkAnchor gptrZAVMsgAnchor;
// The host's trace object; the library never reads it.
ZAVUTIL1_API extern ZAVDebug* gptrCDebug;

// Event-log flood limit: entries in the current window, the limit, the
// window's first entry (microseconds) and the window length (seconds).
ZAVUTIL1_API extern LONG g_LogEntriesCount;
ZAVUTIL1_API extern LONG g_LogEntriesMax;
ZAVUTIL1_API extern ZAVUInt64 g_FirstLogMsgTime;
ZAVUTIL1_API extern ZAVUInt64 g_LogMsgCancelTime;
