// Message records: a message number, a category, the routine that was active
// when the message arose, insertion strings for the message text's numbered
// inserts, and four values of the caller's own. Records travel on locked
// lists; the flat exported form holds offsets instead of addresses.
#pragma once

#include "ZAVList.h"

class ZAVDebug;

// 32 bits wide; values outside the table are stored and reported as errors.
enum ZAVMsgCategory : int32_t {
    ZAVCatInfo6 = 6,
    ZAVCatInfo10 = 10,
    ZAVCatInfo20 = 20,
    ZAVCatInfo30 = 30,
    ZAVCatWarning50 = 50,
    ZAVCatError70 = 70,
    ZAVCatError90 = 90,
};

struct ZAVMsg {
    ZAVLink Link;
    DWORD MsgId;
    DWORD Aux3;
    WCHAR* pRoutine;     // exported block: offset of the name, or 0
    WCHAR* pInsertions;  // strings, each terminated, then one more zero; exported block: offset, or 0
    DWORD InsertionBytes;
    ZAVMsgCategory Category;
    WORD AuxWord;
    WORD Reserved;
    DWORD Aux1;
    DWORD Aux2;
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ZAVMsg) == 44, "message record layout");
#endif

// Builds a record at the tail of list, with the trace's active routine when
// a trace object is given. Throws the list's code (DWORD) when it refuses
// the record, and 8 when there is no memory for it.
ZAVUTIL1_API ZAVMsg* ZAV_MsgCreate(ZAVLinkAnchor* list, DWORD msgId, ZAVMsgCategory category, WORD auxWord,
                                   DWORD aux1, DWORD aux2, DWORD aux3, ZAVDebug* trace);
// Appends an insertion string; 0, or 8 with the record unchanged.
ZAVUTIL1_API DWORD ZAV_MsgAddInsertion(ZAVMsg* msg, const WCHAR* text);
// A number as _ltow writes it; radix 16 gets "0x" in front.
ZAVUTIL1_API DWORD ZAV_MsgAddInsertion(ZAVMsg* msg, LONG value, DWORD radix);
// The list's first record as one self-contained block, owned by the caller;
// null for an empty list.
ZAVUTIL1_API ZAVMsg* ZAV_MsgExport(ZAVLinkAnchor* list);
// Releases a linked record (taking it off list when one is given) or an
// exported block.
ZAVUTIL1_API void ZAV_MsgDestroy(ZAVLinkAnchor* list, ZAVMsg* msg);
// Releases every record of the list.
ZAVUTIL1_API void ZAV_MsgDestroyAll(ZAVLinkAnchor* list);
