/// \file
/// Message records: a message number, a category, the routine that was active
/// when the message arose, insertion strings for the message text's numbered
/// inserts, and four values of the caller's own. Records travel on locked
/// lists; the flat exported form holds offsets instead of addresses.
#pragma once

#include "ZAVList.h"

class ZAVDebug;

/// A message's category. 32 bits wide; values outside the table are stored
/// and reported as errors.
enum ZAVMsgCategory : int32_t {
    ZAVCatInfo6 = 6,       ///< information
    ZAVCatInfo10 = 10,     ///< information
    ZAVCatInfo20 = 20,     ///< information
    ZAVCatInfo30 = 30,     ///< information
    ZAVCatWarning50 = 50,  ///< warning
    ZAVCatError70 = 70,    ///< error
    ZAVCatError90 = 90,    ///< error
};

/// One message record, linked on a list or flat in an exported block.
struct ZAVMsg {
    ZAVLink Link;          ///< the record's place on its list
    zav::win::DWORD MsgId;           ///< the message number
    zav::win::DWORD Aux3;            ///< the caller's value (aux3 of ZAV_MsgCreate)
    zav::win::WCHAR* pRoutine;       ///< the active routine's name, or null; exported block: offset, or 0
    zav::win::WCHAR* pInsertions;    ///< strings, each terminated, then one more zero; exported block: offset, or 0
    zav::win::DWORD InsertionBytes;  ///< bytes of the insertion list, final zero included; 0 while empty
    ZAVMsgCategory Category;  ///< the category
    zav::win::WORD AuxWord;          ///< the caller's value (auxWord of ZAV_MsgCreate)
    zav::win::WORD Reserved;         ///< always 0
    zav::win::DWORD Aux1;            ///< the caller's value (aux1 of ZAV_MsgCreate)
    zav::win::DWORD Aux2;            ///< the caller's value (aux2 of ZAV_MsgCreate)
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ZAVMsg) == 44, "message record layout");
#endif

/// Builds a record at the tail of list, with the trace's active routine when
/// a trace object is given. Throws the list's code (DWORD) when it refuses
/// the record, and 8 when there is no memory for it.
ZAVUTIL1_API ZAVMsg* ZAV_MsgCreate(ZAVLinkAnchor* list, zav::win::DWORD msgId, ZAVMsgCategory category, zav::win::WORD auxWord,
                                   zav::win::DWORD aux1, zav::win::DWORD aux2, zav::win::DWORD aux3, ZAVDebug* trace);
/// Appends an insertion string; 0, or 8 with the record unchanged.
ZAVUTIL1_API zav::win::DWORD ZAV_MsgAddInsertion(ZAVMsg* msg, const zav::win::WCHAR* text);
/// Appends value as _ltow writes it in radix (16 gets "0x" in front); 0 or 8.
ZAVUTIL1_API zav::win::DWORD ZAV_MsgAddInsertion(ZAVMsg* msg, zav::win::LONG value, zav::win::DWORD radix);
/// The list's first record as one self-contained block, owned by the caller;
/// null for an empty list.
ZAVUTIL1_API ZAVMsg* ZAV_MsgExport(ZAVLinkAnchor* list);
/// Releases a linked record (taking it off list when one is given) or an
/// exported block.
ZAVUTIL1_API void ZAV_MsgDestroy(ZAVLinkAnchor* list, ZAVMsg* msg);
/// Releases every record of the list.
ZAVUTIL1_API void ZAV_MsgDestroyAll(ZAVLinkAnchor* list);
