#include "ZAVList.h"

namespace {

// Throws code with the thread's last error as the caller left it. A
// process's first throw sets the C++ runtime up, on Windows through calls
// that set the last error to 0 on the way to the catch; that first throw is
// made here, under a saved value.
[[noreturn]] void ThrowKeepingLastError(DWORD code) {
    const DWORD saved = GetLastError();
    static const bool runtimeReady = [] {
        try {
            throw 0;
        } catch (int) {
        }
        return true;
    }();
    static_cast<void>(runtimeReady);
    SetLastError(saved);
    throw code;
}

// Holds an anchor's lock, if it has one, for one operation on every path.
class ListLock {
public:
    explicit ListLock(const ZAVLinkAnchor* anchor) : lock_(anchor->pLock) {
        if (lock_ != nullptr) EnterCriticalSection(lock_);
    }
    ~ListLock() {
        if (lock_ != nullptr) LeaveCriticalSection(lock_);
    }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

private:
    CRITICAL_SECTION* lock_;
};

}  // namespace

void ZAV_LinkInitAnchor(ZAVLinkAnchor* anchor, CRITICAL_SECTION* lock) {
    anchor->pFirst = nullptr;
    anchor->pLast = nullptr;
    anchor->Count = 0;
    anchor->pLock = lock;
}

DWORD ZAV_LinkToHead(ZAVLinkAnchor* anchor, ZAVLink* link) {
    if (anchor == nullptr || link == nullptr) return ZAV_LINK_HEAD_NULL_ARG;
    SetLastError(0);
    ListLock hold(anchor);
    link->pPrior = nullptr;
    link->pNext = anchor->pFirst;
    if (link->pNext != nullptr) link->pNext->pPrior = link;
    anchor->pFirst = link;
    if (anchor->pLast == nullptr) anchor->pLast = link;
    ++anchor->Count;
    return 0;
}

DWORD ZAV_LinkToTail(ZAVLinkAnchor* anchor, ZAVLink* link) {
    if (anchor == nullptr || link == nullptr) return ZAV_LINK_TAIL_NULL_ARG;
    SetLastError(0);
    ListLock hold(anchor);
    link->pNext = nullptr;
    link->pPrior = anchor->pLast;
    if (link->pPrior != nullptr) link->pPrior->pNext = link;
    anchor->pLast = link;
    if (anchor->pFirst == nullptr) anchor->pFirst = link;
    ++anchor->Count;
    return 0;
}

static DWORD CheckNeighbours(const ZAVLinkAnchor* anchor, const ZAVLink* link) {
    if (anchor->pFirst == nullptr) return ZAV_LINK_REMOVE_EMPTY;
    if (link->pPrior == nullptr ? anchor->pFirst != link : link->pPrior->pNext != link)
        return link->pPrior == nullptr ? ZAV_LINK_REMOVE_NOT_FIRST : ZAV_LINK_REMOVE_PRIOR_BROKEN;
    if (link->pNext == nullptr ? anchor->pLast != link : link->pNext->pPrior != link)
        return link->pNext == nullptr ? ZAV_LINK_REMOVE_NOT_LAST : ZAV_LINK_REMOVE_NEXT_BROKEN;
    return 0;
}

DWORD ZAV_LinkRemove(ZAVLinkAnchor* anchor, ZAVLink* link) {
    if (anchor == nullptr || link == nullptr) return ZAV_LINK_REMOVE_NULL_ARG;
    SetLastError(0);
    ListLock hold(anchor);
    DWORD result = CheckNeighbours(anchor, link);
    if (result != 0) return result;
    (link->pPrior != nullptr ? link->pPrior->pNext : anchor->pFirst) = link->pNext;
    (link->pNext != nullptr ? link->pNext->pPrior : anchor->pLast) = link->pPrior;
    link->pNext = nullptr;
    link->pPrior = nullptr;
    --anchor->Count;
    return 0;
}

ZAVLink* ZAV_LinkPopFirst(ZAVLinkAnchor* anchor) {
    if (anchor == nullptr) ThrowKeepingLastError(ZAV_LINK_POP_NULL_ANCHOR);
    ZAVLink* first;
    DWORD result = 0;
    {
        ListLock hold(anchor);
        first = anchor->pFirst;
        if (first != nullptr) result = ZAV_LinkRemove(anchor, first);
    }
    if (result != 0) ThrowKeepingLastError(result);
    return first;
}

ZAVLink* ZAV_LinkNext(ZAVLinkAnchor* anchor, ZAVLink* link) {
    if (anchor == nullptr) ThrowKeepingLastError(ZAV_LINK_NEXT_NULL_ANCHOR);
    SetLastError(0);
    if (link == nullptr) return nullptr;
    ListLock hold(anchor);
    return link->pNext;
}

ZAVLink* ZAV_LinkPrior(ZAVLinkAnchor* anchor, ZAVLink* link) {
    if (anchor == nullptr) ThrowKeepingLastError(ZAV_LINK_PRIOR_NULL_ANCHOR);
    SetLastError(0);
    if (link == nullptr) return nullptr;
    ListLock hold(anchor);
    return link->pPrior;
}
