// Intrusive doubly linked lists with an optional, caller-owned lock.
#pragma once

#include "ZAVExport.h"

// First member of every listed record: a record's address is its link's.
struct ZAVLink {
    ZAVLink* pNext;
    ZAVLink* pPrior;
};

struct ZAVLinkAnchor {
    ZAVLink* pFirst;
    ZAVLink* pLast;
    CRITICAL_SECTION* pLock;  // null: the users serialise the list
    DWORD Count;
};

// Result and thrown codes.
#define ZAV_LINK_HEAD_NULL_ARG 20000u
#define ZAV_LINK_TAIL_NULL_ARG 20002u
#define ZAV_LINK_REMOVE_NULL_ARG 20004u
#define ZAV_LINK_REMOVE_EMPTY 20005u
#define ZAV_LINK_REMOVE_NOT_FIRST 20006u
#define ZAV_LINK_REMOVE_PRIOR_BROKEN 20007u
#define ZAV_LINK_REMOVE_NOT_LAST 20008u
#define ZAV_LINK_REMOVE_NEXT_BROKEN 20009u
#define ZAV_LINK_POP_NULL_ANCHOR 20011u
#define ZAV_LINK_NEXT_NULL_ANCHOR 20012u
#define ZAV_LINK_PRIOR_NULL_ANCHOR 20013u

ZAVUTIL1_API void ZAV_LinkInitAnchor(ZAVLinkAnchor* anchor, CRITICAL_SECTION* lock);
ZAVUTIL1_API DWORD ZAV_LinkToHead(ZAVLinkAnchor* anchor, ZAVLink* link);
ZAVUTIL1_API DWORD ZAV_LinkToTail(ZAVLinkAnchor* anchor, ZAVLink* link);
ZAVUTIL1_API DWORD ZAV_LinkRemove(ZAVLinkAnchor* anchor, ZAVLink* link);
// Null for an empty list; throws DWORD 20011 or a failed removal's code.
ZAVUTIL1_API ZAVLink* ZAV_LinkPopFirst(ZAVLinkAnchor* anchor);
// Null for a null link; throw DWORD 20012 / 20013 for a null anchor.
ZAVUTIL1_API ZAVLink* ZAV_LinkNext(ZAVLinkAnchor* anchor, ZAVLink* link);
ZAVUTIL1_API ZAVLink* ZAV_LinkPrior(ZAVLinkAnchor* anchor, ZAVLink* link);
