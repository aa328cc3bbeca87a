#include "MemoryMonitor.h"

#include <stdlib.h>
#include <string.h>

namespace zav {

ZAV_MemCtlBlock* NewMonitorBlock() {
    void* block = malloc(sizeof(ZAV_MemCtlBlock));
    if (block != nullptr) memset(block, 0, sizeof(ZAV_MemCtlBlock));
    return static_cast<ZAV_MemCtlBlock*>(block);
}

static bool Claim(ZAV_MemCtlEntry& entry, void* address, DWORD size) {
    void* expected = nullptr;
    if (zav::LoadRelaxed(entry.Address) != nullptr ||
        !zav::CompareExchangeAcquire(entry.Address, expected, address))
        return false;
    entry.Size = size;
    entry.ThreadId = GetCurrentThreadId();
    _wstrtime(entry.TimeText);
    return true;
}

static bool ClaimIn(ZAV_MemCtlBlock* block, void* address, DWORD size) {
    for (ZAV_MemCtlEntry& entry : block->Entries)
        if (Claim(entry, address, size)) return true;
    return false;
}

bool MonitorRecord(ZAV_MemCtlBlock* first, void* address, DWORD size) {
    ZAV_MemCtlBlock* last = first;
    for (ZAV_MemCtlBlock* b = first; b != nullptr; b = zav::LoadAcquire(b->pNext)) {
        if (ClaimIn(b, address, size)) return true;
        last = b;
    }
    ZAV_MemCtlBlock* fresh = NewMonitorBlock();
    if (fresh == nullptr) return false;
    Claim(fresh->Entries[0], address, size);
    // Append behind the last block; another thread may have got there first,
    // in which case walk on to the new end.
    for (;;) {
        fresh->pPrior = last;
        ZAV_MemCtlBlock* expected = nullptr;
        if (zav::CompareExchangeRelease(last->pNext, expected, fresh))
            return true;
        last = expected;
        if (ClaimIn(last, address, size)) {
            free(fresh);
            return true;
        }
    }
}

bool MonitorForget(ZAV_MemCtlBlock* first, void* address) {
    for (ZAV_MemCtlBlock* b = first; b != nullptr; b = zav::LoadAcquire(b->pNext))
        for (ZAV_MemCtlEntry& entry : b->Entries)
            if (zav::LoadRelaxed(entry.Address) == address) {
                // Only the block's owner returns it, so nobody else writes
                // this record until Address is 0 again.
                entry.ThreadId = 0;
                entry.Size = 0;
                memset(entry.TimeText, 0, sizeof entry.TimeText);
                zav::StoreRelease(entry.Address, nullptr);
                return true;
            }
    return false;
}

void FreeMonitorChain(ZAV_MemCtlBlock* first) {
    while (first != nullptr) {
        ZAV_MemCtlBlock* next = first->pNext;
        free(first);
        first = next;
    }
}

}  // namespace zav
