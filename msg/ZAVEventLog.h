/// \file
/// One event-log entry per message, with a flood limit: g_LogEntriesMax
/// entries per window of g_LogMsgCancelTime seconds, after which the next
/// entry is a termination notice and the process ends with code 112.
/// The limit is exact for one thread; with T threads logging at once up to
/// T-1 further entries may pass before the notice.
#pragma once

#include "ZAVMsg.h"

/// Writes one entry for a linked record (not an exported block): text is a
/// FormatMessage template whose %1, %2... take the record's insertions;
/// source null or empty means "ZAVMsg". Never fails visibly; an empty
/// formatted text writes and counts nothing.
ZAVUTIL1_API void ZAV_LogEvent(ZAVMsg& msg, const zav::win::WCHAR* text, const zav::win::WCHAR* source);
/// As above, for a record of this category and message number without insertions.
ZAVUTIL1_API void ZAV_LogEvent(ZAVMsgCategory category, const zav::win::WCHAR* text, zav::win::DWORD msgId, const zav::win::WCHAR* source);
