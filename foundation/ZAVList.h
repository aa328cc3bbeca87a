/// \file
/// Intrusive doubly linked lists with an optional, caller-owned lock. The
/// calls hold the anchor's lock, when it has one, for their access to the
/// list; it must be re-entrant for its holder, as a critical section is.
#pragma once

#include "ZAVExport.h"

/// First member of every listed record: a record's address is its link's.
struct ZAVLink {
    ZAVLink* pNext;   ///< toward the tail; null at the tail
    ZAVLink* pPrior;  ///< toward the head; null at the head
};

/// A list's head: its ends, its optional lock and its length.
struct ZAVLinkAnchor {
    ZAVLink* pFirst;          ///< the head; null for an empty list
    ZAVLink* pLast;           ///< the tail; null for an empty list
    zav::win::CRITICAL_SECTION* pLock;  ///< null: the users serialise the list
    zav::win::DWORD Count;              ///< records on the list
};

/// ZAV_LinkToHead: null anchor or link.
#define ZAV_LINK_HEAD_NULL_ARG 20000u
/// ZAV_LinkToTail: null anchor or link.
#define ZAV_LINK_TAIL_NULL_ARG 20002u
/// ZAV_LinkRemove: null anchor or link.
#define ZAV_LINK_REMOVE_NULL_ARG 20004u
/// ZAV_LinkRemove: the list is empty.
#define ZAV_LINK_REMOVE_EMPTY 20005u
/// ZAV_LinkRemove: a link without a prior record is not the head.
#define ZAV_LINK_REMOVE_NOT_FIRST 20006u
/// ZAV_LinkRemove: the prior record does not point back at the link.
#define ZAV_LINK_REMOVE_PRIOR_BROKEN 20007u
/// ZAV_LinkRemove: a link without a next record is not the tail.
#define ZAV_LINK_REMOVE_NOT_LAST 20008u
/// ZAV_LinkRemove: the next record does not point back at the link.
#define ZAV_LINK_REMOVE_NEXT_BROKEN 20009u
/// Thrown by ZAV_LinkPopFirst for a null anchor.
#define ZAV_LINK_POP_NULL_ANCHOR 20011u
/// Thrown by ZAV_LinkNext for a null anchor.
#define ZAV_LINK_NEXT_NULL_ANCHOR 20012u
/// Thrown by ZAV_LinkPrior for a null anchor.
#define ZAV_LINK_PRIOR_NULL_ANCHOR 20013u

/// Makes anchor an empty list guarded by lock (null: no lock).
ZAVUTIL1_API void ZAV_LinkInitAnchor(ZAVLinkAnchor* anchor, zav::win::CRITICAL_SECTION* lock);
/// Puts link at the head; 0, or 20000 for a null argument.
ZAVUTIL1_API zav::win::DWORD ZAV_LinkToHead(ZAVLinkAnchor* anchor, ZAVLink* link);
/// Puts link at the tail; 0, or 20002 for a null argument.
ZAVUTIL1_API zav::win::DWORD ZAV_LinkToTail(ZAVLinkAnchor* anchor, ZAVLink* link);
/// Takes link off the list after checking its neighbours; 0 or 20004 to 20009.
ZAVUTIL1_API zav::win::DWORD ZAV_LinkRemove(ZAVLinkAnchor* anchor, ZAVLink* link);
/// Takes the head off the list. Null for an empty list; throws DWORD 20011
/// for a null anchor or a failed removal's code.
ZAVUTIL1_API ZAVLink* ZAV_LinkPopFirst(ZAVLinkAnchor* anchor);
/// The record after link (null at the tail or for a null link); throws
/// DWORD 20012 for a null anchor.
ZAVUTIL1_API ZAVLink* ZAV_LinkNext(ZAVLinkAnchor* anchor, ZAVLink* link);
/// The record before link (null at the head or for a null link); throws
/// DWORD 20013 for a null anchor.
ZAVUTIL1_API ZAVLink* ZAV_LinkPrior(ZAVLinkAnchor* anchor, ZAVLink* link);
