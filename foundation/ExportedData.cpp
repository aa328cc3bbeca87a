// Exported variables of the message, event-log and trace areas, with the
// initial values hosts read before any call.
#include "ZAVGlobals.h"

ZAVLinkAnchor gptrZAVMsgAnchor = {nullptr, nullptr, nullptr, 0};
ZAVDebug* gptrCDebug = nullptr;
LONG g_LogEntriesCount = 0;
LONG g_LogEntriesMax = 500;
ZAVUInt64 g_FirstLogMsgTime = 0;
ZAVUInt64 g_LogMsgCancelTime = 14400;
