#include "MemoryMonitor.h"

#include <stdlib.h>
#include <string.h>

#include <mutex>

#include "AddressIndex.h"
#include "ZAVCompiler.h"

namespace zav {
namespace {

constexpr uint32_t kRecords = ZAV_MEMCTL_ENTRIES;

// What the walk would find, kept beside the chain: the table blocks in chain
// order, a mask of free records per block, and two levels of bits naming the
// blocks with a free record, so the first of them is a few bit scans away.
// Constant-initialised and never destroyed: it must work before and after
// the program's own static objects live.
struct Monitor {
    // An ordinary sleeping lock: a holder preempted by a real-time thread
    // must not leave that thread spinning behind it.
    std::mutex lock;
    ZAV_MemCtlBlock* first = nullptr;  // the chain described; null: none
    ZAV_MemCtlBlock** blocks = nullptr;
    uint32_t* freeRecords = nullptr;  // bit r: record r of the block is free
    uint32_t* room = nullptr;         // bit b % 32 of word b / 32: block b has a free record
    uint32_t* roomWords = nullptr;    // bit w % 32 of word w / 32: room[w] is not 0
    uint32_t count = 0, capacity = 0;
    AddressIndex index;

    void Forget() {
        // The room bits go too: a chain described later must not find room
        // in blocks of this one.
        if (count != 0) {
            memset(room, 0, (count + 31) / 32 * sizeof *room);
            memset(roomWords, 0, (count + 1023) / 1024 * sizeof *roomWords);
        }
        first = nullptr;
        count = 0;
        index.Clear();
    }

    void MarkRoom(uint32_t block, bool hasRoom) {
        uint32_t& word = room[block / 32];
        if (hasRoom) {
            word |= 1u << block % 32;
            roomWords[block / 1024] |= 1u << block / 32 % 32;
        } else {
            word &= ~(1u << block % 32);
            if (word == 0) roomWords[block / 1024] &= ~(1u << block / 32 % 32);
        }
    }

    // The first block with a free record, or count when every record is taken.
    uint32_t FirstWithRoom() const {
        for (uint32_t w = 0; w * 1024 < count; ++w)
            if (roomWords[w] != 0) {
                const uint32_t word = w * 32 + LowestBit(roomWords[w]);
                return word * 32 + LowestBit(room[word]);
            }
        return count;
    }

    bool Reserve(uint32_t blocksWanted) {
        if (blocksWanted <= capacity) return true;
        const uint32_t grown = capacity != 0 ? capacity * 2 : 1024;
        // Each array is replaced only once every one is had, so a failure
        // leaves the old ones whole.
        auto* newBlocks = static_cast<ZAV_MemCtlBlock**>(malloc(grown * sizeof *blocks));
        auto* newFree = static_cast<uint32_t*>(malloc(grown * sizeof *freeRecords));
        auto* newRoom = static_cast<uint32_t*>(calloc(grown / 32, sizeof *room));
        auto* newRoomWords = static_cast<uint32_t*>(calloc(grown / 1024, sizeof *roomWords));
        if (newBlocks == nullptr || newFree == nullptr || newRoom == nullptr || newRoomWords == nullptr) {
            free(newBlocks);
            free(newFree);
            free(newRoom);
            free(newRoomWords);
            return false;
        }
        if (count != 0) {
            memcpy(newBlocks, blocks, count * sizeof *blocks);
            memcpy(newFree, freeRecords, count * sizeof *freeRecords);
            memcpy(newRoom, room, capacity / 32 * sizeof *room);
            memcpy(newRoomWords, roomWords, capacity / 1024 * sizeof *roomWords);
        }
        free(blocks);
        free(freeRecords);
        free(room);
        free(roomWords);
        blocks = newBlocks;
        freeRecords = newFree;
        room = newRoom;
        roomWords = newRoomWords;
        capacity = grown;
        return true;
    }

    bool Append(ZAV_MemCtlBlock* block) {
        if (!Reserve(count + 1)) return false;
        const uint32_t b = count++;
        blocks[b] = block;
        uint32_t freeMask = 0;
        for (uint32_t r = 0; r < kRecords; ++r)
            if (block->Entries[r].Address == nullptr) freeMask |= 1u << r;
            else if (!index.Insert(block->Entries[r].Address, b * kRecords + r)) return false;
        freeRecords[b] = freeMask;
        MarkRoom(b, freeMask != 0);
        return true;
    }

    // Describes the chain from its records: on a new table, and whenever the
    // records are not what the index says (a host wrote to them).
    bool Adopt(ZAV_MemCtlBlock* chain) {
        Forget();
        for (ZAV_MemCtlBlock* b = chain; b != nullptr; b = b->pNext)
            if (!Append(b)) {
                Forget();
                return false;
            }
        first = chain;
        return true;
    }

    bool Describes(ZAV_MemCtlBlock* chain) { return chain != nullptr && (first == chain || Adopt(chain)); }

    ZAV_MemCtlEntry& Entry(uint32_t record) { return blocks[record / kRecords]->Entries[record % kRecords]; }

    // Fills free record r of a block; the address goes last, as a host
    // reading the table expects a record with an address to be whole.
    void Take(uint32_t block, uint32_t r, ZAV_MemCtlEntry& entry, const ZAV_MemCtlEntry& stamp) {
        entry.ThreadId = stamp.ThreadId;
        entry.Size = stamp.Size;
        memcpy(entry.TimeText, stamp.TimeText, sizeof stamp.TimeText);
        entry.Address = stamp.Address;
        if ((freeRecords[block] &= ~(1u << r)) == 0) MarkRoom(block, false);
    }

    void Give(uint32_t record, ZAV_MemCtlEntry& entry) {
        memset(&entry, 0, sizeof entry);
        const uint32_t block = record / kRecords;
        const uint32_t wasFree = freeRecords[block];
        freeRecords[block] = wasFree | 1u << record % kRecords;
        if (wasFree == 0) MarkRoom(block, true);
    }
};

Monitor gMonitor;

ZAV_MemCtlBlock* NewBlock() {
    void* block = malloc(sizeof(ZAV_MemCtlBlock));
    if (block != nullptr) memset(block, 0, sizeof(ZAV_MemCtlBlock));
    return static_cast<ZAV_MemCtlBlock*>(block);
}

// The first record of a fresh block linked behind the last; count when no
// block can be had.
uint32_t Extend(Monitor& m) {
    ZAV_MemCtlBlock* fresh = NewBlock();
    if (fresh == nullptr) return m.count;
    ZAV_MemCtlBlock* last = m.blocks[m.count - 1];
    if (!m.Append(fresh)) {
        free(fresh);
        return m.count;
    }
    fresh->pPrior = last;
    last->pNext = fresh;
    return m.count - 1;
}

// A linear walk, for a chain the index could not be built for.
bool ForgetByWalk(ZAV_MemCtlBlock* first, void* address) {
    for (ZAV_MemCtlBlock* b = first; b != nullptr; b = b->pNext)
        for (ZAV_MemCtlEntry& entry : b->Entries)
            if (entry.Address == address) {
                memset(&entry, 0, sizeof entry);
                return true;
            }
    return false;
}

#ifndef _WIN32
// A child of fork must not inherit the lock held by a thread it does not
// have: the fork waits for the table to be free and keeps it so meanwhile.
const int gHeldAcrossFork = pthread_atfork([] { gMonitor.lock.lock(); }, [] { gMonitor.lock.unlock(); },
                                           [] { gMonitor.lock.unlock(); });
#endif

// The table the host sees, read and replaced only under the lock, so that
// no call works on a chain another thread is releasing.
inline ZAV_MemCtlBlock* Published() { return LoadRelaxed(g_pZAVMemCtl); }

}  // namespace

void StartMonitorTable() {
    std::lock_guard<std::mutex> hold(gMonitor.lock);
    ZAV_MemCtlBlock* block = NewBlock();
    if (block != nullptr) gMonitor.Adopt(block);
    StoreRelease(g_pZAVMemCtl, block);
}

namespace {

// The whole of a record, for any state of the table: a chain not yet
// described, a full table, records a host changed. Under the lock.
ZAV_NOINLINE bool RecordSlowly(Monitor& m, ZAV_MemCtlBlock* first, void* address, const ZAV_MemCtlEntry& stamp) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m.Describes(first)) return false;
        uint32_t block = m.FirstWithRoom();
        if (block == m.count && (block = Extend(m)) == m.count) return false;
        const uint32_t r = LowestBit(m.freeRecords[block]);
        ZAV_MemCtlEntry& entry = m.blocks[block]->Entries[r];
        if (entry.Address != nullptr) {
            m.Forget();
            continue;
        }
        if (!m.index.Insert(address, block * kRecords + r)) return false;
        m.Take(block, r, entry, stamp);
        return true;
    }
    return false;
}

ZAV_NOINLINE bool ForgetSlowly(Monitor& m, ZAV_MemCtlBlock* first, void* address) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m.Describes(first)) return ForgetByWalk(first, address);
        uint32_t record;
        if (!m.index.TakeLowest(address, &record)) return false;
        ZAV_MemCtlEntry& entry = m.Entry(record);
        if (entry.Address != address) {
            m.Forget();
            continue;
        }
        m.Give(record, entry);
        return true;
    }
    return ForgetByWalk(first, address);
}

}  // namespace

// Both calls try the common case first, in as few steps as it takes: the
// chain described, a block with room, records as the index says; anything
// else goes the whole way.
bool MonitorRecord(void* address, DWORD size) {
    ZAV_MemCtlEntry stamp;
    stamp.ThreadId = GetCurrentThreadId();
    stamp.Size = size;
    stamp.Address = address;
    _wstrtime(stamp.TimeText);  // the runtime keeps the second's text: no lock held for it
    Monitor& m = gMonitor;
    std::lock_guard<std::mutex> hold(m.lock);
    ZAV_MemCtlBlock* first = Published();
    if (first == nullptr) return false;
    if (first == m.first) {
        const uint32_t block = m.FirstWithRoom();
        if (block != m.count) {
            const uint32_t r = LowestBit(m.freeRecords[block]);
            ZAV_MemCtlEntry& entry = m.blocks[block]->Entries[r];
            if (entry.Address == nullptr && m.index.Insert(address, block * kRecords + r)) {
                m.Take(block, r, entry, stamp);
                return true;
            }
        }
    }
    return RecordSlowly(m, first, address, stamp);
}

bool MonitorForget(void* address) {
    Monitor& m = gMonitor;
    std::lock_guard<std::mutex> hold(m.lock);
    ZAV_MemCtlBlock* first = Published();
    if (first == nullptr) return true;
    if (first == m.first) {
        uint32_t record;
        if (!m.index.TakeLowest(address, &record)) return false;
        ZAV_MemCtlEntry& entry = m.Entry(record);
        if (entry.Address == address) {
            m.Give(record, entry);
            return true;
        }
    }
    return ForgetSlowly(m, first, address);
}

void FreeMonitorTable() {
    std::lock_guard<std::mutex> hold(gMonitor.lock);
    ZAV_MemCtlBlock* first = Published();
    if (first == nullptr) return;
    StoreRelease(g_pZAVMemCtl, static_cast<ZAV_MemCtlBlock*>(nullptr));
    if (gMonitor.first == first) gMonitor.Forget();
    while (first != nullptr) {
        ZAV_MemCtlBlock* next = first->pNext;
        free(first);
        first = next;
    }
}

}  // namespace zav
