#include "PrivateHeap.h"

#include "FaultInjection.h"

#include <string.h>
#include <sys/mman.h>

#include <new>

namespace zavplatform {

namespace {

constexpr uint32_t kHeapMagic = 0x5A415648;
constexpr uint16_t kTag = 0xB10C;
constexpr uint8_t kBusy = 0x1;
constexpr uint8_t kLast = 0x2;  // the block that ends at its region's committed end

constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kMinBlock = 32;  // a free block holds two list pointers
constexpr size_t kRegionHeader = 64;
constexpr size_t kPage = 4096;
constexpr size_t kCommitStep = 64 * 1024;
constexpr size_t kFirstReserve = 1u << 20;
constexpr size_t kMaxReserve = 64u << 20;
// Keeps every block, and every merge of blocks within one region, below 4 GiB.
constexpr size_t kMaxRequest = 0x7FFF0000u;

constexpr size_t RoundUp(size_t value, size_t step) { return (value + step - 1) / step * step; }

inline unsigned Msb(uint32_t v) { return zav::HighestBit(v); }
inline unsigned Lsb(uint32_t v) { return zav::LowestBit(v); }

}  // namespace

struct PrivateHeap::Block {
    uint32_t prevSize;  // 0 for the first block of a region
    uint32_t size;      // header included, a multiple of 16
    uint32_t requested;
    uint8_t flags;
    uint8_t region;
    uint16_t tag;
    Block* nextFree;  // free blocks only: these overlay the payload
    Block* prevFree;

    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(this); }
    uint8_t* Payload() { return Bytes() + kHeaderSize; }
    Block* Next() { return reinterpret_cast<Block*>(Bytes() + size); }
    Block* Prev() { return reinterpret_cast<Block*>(Bytes() - prevSize); }
    bool Busy() const { return (flags & kBusy) != 0; }
    bool Last() const { return (flags & kLast) != 0; }
};
static_assert(offsetof(PrivateHeap::Block, nextFree) == kHeaderSize, "header is 16 bytes");

struct PrivateHeap::Region {
    uint8_t* base;
    size_t reserved;
    size_t committed;
    Block* last;
    uint8_t index;

    Block* First() { return reinterpret_cast<Block*>(base + kRegionHeader); }
    uint8_t* End() { return base + committed; }
    bool Holds(const void* p) const {
        auto* b = static_cast<const uint8_t*>(p);
        return b >= base + kRegionHeader && b < base + committed;
    }
};
static_assert(sizeof(PrivateHeap::Region) <= kRegionHeader, "region header fits");

static void Mapping(uint32_t size, unsigned& fl, unsigned& sl) {
    if (size < 256) {
        fl = 0;
        sl = size / 16;
    } else {
        unsigned m = Msb(size);
        fl = m - 7;
        sl = (size >> (m - 4)) & 15;
    }
}

// Rounds a request up to the start of the next list class, so that any block
// on the class found is large enough.
static uint64_t RoundForSearch(uint32_t size) {
    if (size < 256) return size;
    return static_cast<uint64_t>(size) + (1u << (Msb(size) - 4)) - 1;
}

PrivateHeap* PrivateHeap::Create(size_t initialSize) {
    auto* heap = new (std::nothrow) PrivateHeap;
    if (heap == nullptr) return nullptr;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&heap->mutex_, &attr);
    pthread_mutexattr_destroy(&attr);
    heap->magic_ = kHeapMagic;
    size_t commit = RoundUp(initialSize < kRegionHeader + kMinBlock ? kRegionHeader + kMinBlock : initialSize, kPage);
    if (initialSize > kMaxRequest || heap->AddRegion(commit - kRegionHeader) == nullptr) {
        heap->Destroy();
        return nullptr;
    }
    return heap;
}

bool PrivateHeap::IsHeap(const void* handle) {
    return handle != nullptr && static_cast<const PrivateHeap*>(handle)->magic_ == kHeapMagic;
}

void PrivateHeap::Destroy() {
    magic_ = 0;
    for (unsigned i = 0; i < regionCount_; ++i) {
        Region* r = regions_[i];
        size_t reserved = r->reserved;
        munmap(r->base, reserved);
    }
    pthread_mutex_destroy(&mutex_);
    delete this;
}

PrivateHeap::Region* PrivateHeap::AddRegion(size_t minimumBlock) {
    if (regionCount_ == kMaxRegions) return nullptr;
    size_t reserve = regionCount_ == 0 ? kFirstReserve : regions_[regionCount_ - 1]->reserved * 2;
    if (reserve > kMaxReserve) reserve = kMaxReserve;
    size_t need = RoundUp(minimumBlock + kRegionHeader, kCommitStep);
    if (reserve < need) reserve = need;
    // The first region commits what HeapCreate was asked for; later ones a step.
    size_t commit = regionCount_ == 0 ? RoundUp(minimumBlock + kRegionHeader, kPage) : need;

    void* base = mmap(nullptr, reserve, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    if (mprotect(base, commit, PROT_READ | PROT_WRITE) != 0) {
        munmap(base, reserve);
        return nullptr;
    }
    auto* region = static_cast<Region*>(base);
    region->base = static_cast<uint8_t*>(base);
    region->reserved = reserve;
    region->committed = commit;
    region->index = static_cast<uint8_t>(regionCount_);
    Block* block = region->First();
    block->prevSize = 0;
    block->size = static_cast<uint32_t>(commit - kRegionHeader);
    block->requested = 0;
    block->flags = kLast;
    block->region = region->index;
    block->tag = kTag;
    region->last = block;
    regions_[regionCount_++] = region;
    InsertFree(block);
    return region;
}

bool PrivateHeap::GrowRegion(Region* region, size_t minimumBlock) {
    Block* last = region->last;
    size_t tail = last->Busy() ? 0 : last->size;
    size_t extra = minimumBlock > tail ? RoundUp(minimumBlock - tail, kCommitStep) : kCommitStep;
    if (region->committed + extra > region->reserved) extra = region->reserved - region->committed;
    if (extra == 0 || extra + tail < minimumBlock) return false;
    if (mprotect(region->End(), extra, PROT_READ | PROT_WRITE) != 0) return false;

    auto* block = reinterpret_cast<Block*>(region->End());
    block->prevSize = last->size;
    block->size = static_cast<uint32_t>(extra);
    block->requested = 0;
    block->flags = kLast;
    block->region = region->index;
    block->tag = kTag;
    last->flags &= static_cast<uint8_t>(~kLast);
    region->committed += extra;
    region->last = block;
    InsertFree(MergeNeighbours(block));
    return true;
}

void PrivateHeap::InsertFree(Block* block) {
    unsigned fl, sl;
    Mapping(block->size, fl, sl);
    Block* head = freeLists_[fl][sl];
    block->nextFree = head;
    block->prevFree = nullptr;
    if (head != nullptr) head->prevFree = block;
    freeLists_[fl][sl] = block;
    flBitmap_ |= 1u << fl;
    slBitmap_[fl] |= 1u << sl;
}

void PrivateHeap::RemoveFree(Block* block) {
    unsigned fl, sl;
    Mapping(block->size, fl, sl);
    if (block->nextFree != nullptr) block->nextFree->prevFree = block->prevFree;
    if (block->prevFree != nullptr) {
        block->prevFree->nextFree = block->nextFree;
    } else {
        freeLists_[fl][sl] = block->nextFree;
        if (block->nextFree == nullptr) {
            slBitmap_[fl] &= ~(1u << sl);
            if (slBitmap_[fl] == 0) flBitmap_ &= ~(1u << fl);
        }
    }
}

PrivateHeap::Block* PrivateHeap::FindFree(uint32_t size) {
    uint64_t rounded = RoundForSearch(size);
    if (rounded > 0xFFFFFFFFu) return nullptr;
    unsigned fl, sl;
    Mapping(static_cast<uint32_t>(rounded), fl, sl);
    uint32_t slMap = slBitmap_[fl] & (~0u << sl);
    if (slMap == 0) {
        uint32_t flMap = fl + 1 < 32 ? flBitmap_ & (~0u << (fl + 1)) : 0;
        if (flMap == 0) return nullptr;
        fl = Lsb(flMap);
        slMap = slBitmap_[fl];
    }
    return freeLists_[fl][Lsb(slMap)];
}

// Merges a block that is not on any list with its free neighbours.
PrivateHeap::Block* PrivateHeap::MergeNeighbours(Block* block) {
    if (!block->Last() && !block->Next()->Busy()) {
        RemoveFree(block->Next());
        AbsorbNext(block);
    }
    if (block->prevSize != 0 && !block->Prev()->Busy()) {
        block = block->Prev();
        RemoveFree(block);
        AbsorbNext(block);
    }
    SettleEnd(block);
    return block;
}

// The block takes in the one after it; neither is on a free list. The
// caller settles the end once it has merged all it will.
void PrivateHeap::AbsorbNext(Block* block) {
    const Block* next = block->Next();
    block->size += next->size;
    block->flags |= next->flags & kLast;
}

// Where a block now ends, for the block after it or for its region.
void PrivateHeap::SettleEnd(Block* block) {
    if (block->Last())
        regions_[block->region]->last = block;
    else
        block->Next()->prevSize = block->size;
}

// Cuts a block that is not on any list down to size; the rest goes free.
PrivateHeap::Block* PrivateHeap::Carve(Block* block, uint32_t size) {
    if (block->size - size >= kMinBlock) {
        auto* rest = reinterpret_cast<Block*>(block->Bytes() + size);
        rest->prevSize = size;
        rest->size = block->size - size;
        rest->requested = 0;
        rest->flags = block->flags & kLast;
        rest->region = block->region;
        rest->tag = kTag;
        block->flags &= static_cast<uint8_t>(~kLast);
        block->size = size;
        InsertFree(MergeNeighbours(rest));
    }
    return block;
}

static uint32_t BlockSizeFor(size_t bytes) {
    size_t size = RoundUp(bytes + kHeaderSize, 16);
    return static_cast<uint32_t>(size < kMinBlock ? kMinBlock : size);
}

void* PrivateHeap::Allocate(size_t bytes, bool zero) {
    if (bytes > kMaxRequest || AllocationRefused()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    uint32_t size = BlockSizeFor(bytes);
    Lock();
    Block* block = FindFree(size);
    if (block == nullptr) {
        size_t want = static_cast<size_t>(RoundForSearch(size));
        bool grown = regionCount_ > 0 && GrowRegion(regions_[regionCount_ - 1], want);
        if (!grown) grown = AddRegion(want) != nullptr;
        block = grown ? FindFree(size) : nullptr;
        if (block == nullptr) {
            Unlock();
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    RemoveFree(block);
    block->flags |= kBusy;
    Carve(block, size);
    block->requested = static_cast<uint32_t>(bytes);
    Unlock();
    if (zero) memset(block->Payload(), 0, bytes);
    return block->Payload();
}

PrivateHeap::Region* PrivateHeap::RegionOf(const Block* block) const {
    if (block->region >= regionCount_) return nullptr;
    Region* r = regions_[block->region];
    return r->Holds(block) ? r : nullptr;
}

PrivateHeap::Region* PrivateHeap::RegionAt(const void* base) const {
    for (unsigned i = 0; i < regionCount_; ++i)
        if (regions_[i]->base == base) return regions_[i];
    return nullptr;
}

PrivateHeap::Block* PrivateHeap::BusyBlockOf(const void* mem) const {
    if (mem == nullptr || (reinterpret_cast<uintptr_t>(mem) & 15) != 0) return nullptr;
    auto* block = reinterpret_cast<Block*>(const_cast<uint8_t*>(static_cast<const uint8_t*>(mem)) - kHeaderSize);
    if (block->tag != kTag || !block->Busy() || RegionOf(block) == nullptr) return nullptr;
    return block;
}

bool PrivateHeap::Free(void* mem) {
    Lock();
    Block* block = BusyBlockOf(mem);
    if (block == nullptr) {
        Unlock();
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    block->flags &= static_cast<uint8_t>(~kBusy);
    block->requested = 0;
    InsertFree(MergeNeighbours(block));
    Unlock();
    return true;
}

void* PrivateHeap::Reallocate(void* mem, size_t bytes, bool zero, bool inPlaceOnly) {
    if (bytes > kMaxRequest) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    uint32_t size = BlockSizeFor(bytes);
    Lock();
    Block* block = BusyBlockOf(mem);
    if (block == nullptr) {
        Unlock();
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    uint32_t old = block->requested;
    if (size > block->size && !block->Last()) {
        Block* next = block->Next();
        if (!next->Busy() && block->size + next->size >= size) {
            RemoveFree(next);
            AbsorbNext(block);
            SettleEnd(block);
        }
    }
    if (size <= block->size) {
        Carve(block, size);
        block->requested = static_cast<uint32_t>(bytes);
        Unlock();
        if (zero && bytes > old) memset(block->Payload() + old, 0, bytes - old);
        return mem;
    }
    Unlock();
    if (inPlaceOnly) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* moved = Allocate(bytes, false);
    if (moved == nullptr) return nullptr;
    memcpy(moved, mem, old);
    if (zero) memset(static_cast<uint8_t*>(moved) + old, 0, bytes - old);
    Free(mem);
    return moved;
}

size_t PrivateHeap::SizeOf(const void* mem) {
    Lock();
    Block* block = BusyBlockOf(mem);
    size_t size = block != nullptr ? block->requested : static_cast<size_t>(-1);
    Unlock();
    if (block == nullptr) SetLastError(ERROR_INVALID_PARAMETER);
    return size;
}

size_t PrivateHeap::Compact() {
    Lock();
    for (unsigned i = 0; i < regionCount_; ++i) {
        Region* r = regions_[i];
        Block* last = r->last;
        if (last->Busy()) continue;
        auto* keepEnd = reinterpret_cast<uint8_t*>(RoundUp(reinterpret_cast<uintptr_t>(last->Bytes() + kMinBlock), kPage));
        if (keepEnd >= r->End()) continue;
        // Mapping over the range both drops its pages and leaves it reserved.
        size_t drop = static_cast<size_t>(r->End() - keepEnd);
        if (mmap(keepEnd, drop, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0) == MAP_FAILED)
            continue;
        RemoveFree(last);
        last->size = static_cast<uint32_t>(keepEnd - last->Bytes());
        r->committed -= drop;
        InsertFree(last);
    }
    size_t largest = 0;
    if (flBitmap_ != 0) {
        unsigned fl = Msb(flBitmap_);
        for (Block* b = freeLists_[fl][Msb(slBitmap_[fl])]; b != nullptr; b = b->nextFree)
            if (b->size - kHeaderSize > largest) largest = b->size - kHeaderSize;
    }
    Unlock();
    return largest;
}

bool PrivateHeap::ValidateAll() const {
    size_t freeBlocks = 0;
    for (unsigned i = 0; i < regionCount_; ++i) {
        Region* r = regions_[i];
        Block* prev = nullptr;
        for (Block* b = r->First();; b = b->Next()) {
            if (b->tag != kTag || b->region != i || b->size < kMinBlock || (b->size & 15) != 0) return false;
            if (b->prevSize != (prev != nullptr ? prev->size : 0)) return false;
            if (b->Next()->Bytes() > r->End()) return false;
            if (!b->Busy()) {
                if (prev != nullptr && !prev->Busy()) return false;  // unmerged neighbours
                ++freeBlocks;
            }
            prev = b;
            if (b->Next()->Bytes() == r->End()) {
                if (!b->Last() || r->last != b) return false;
                break;
            }
            if (b->Last()) return false;
        }
    }
    size_t listed = 0;
    for (unsigned fl = 0; fl < kFlCount; ++fl)
        for (unsigned sl = 0; sl < kSlCount; ++sl) {
            bool bit = (slBitmap_[fl] >> sl) & 1;
            if (bit != (freeLists_[fl][sl] != nullptr)) return false;
            for (Block* b = freeLists_[fl][sl]; b != nullptr; b = b->nextFree) {
                unsigned f, s;
                Mapping(b->size, f, s);
                if (b->Busy() || f != fl || s != sl) return false;
                ++listed;
            }
        }
    return listed == freeBlocks;
}

bool PrivateHeap::Validate(const void* mem) {
    Lock();
    bool ok = mem != nullptr ? BusyBlockOf(mem) != nullptr : ValidateAll();
    Unlock();
    return ok;
}

void PrivateHeap::FillRegionEntry(PROCESS_HEAP_ENTRY* e, Region* r) const {
    memset(e, 0, sizeof *e);
    e->lpData = r->base;
    e->cbData = static_cast<DWORD>(r->reserved);
    e->cbOverhead = static_cast<BYTE>(kRegionHeader);
    e->iRegionIndex = r->index;
    e->wFlags = PROCESS_HEAP_REGION;
    e->Region.dwCommittedSize = static_cast<DWORD>(r->committed);
    e->Region.dwUnCommittedSize = static_cast<DWORD>(r->reserved - r->committed);
    e->Region.lpFirstBlock = r->First();
    e->Region.lpLastBlock = r->End();
}

void PrivateHeap::FillBlockEntry(PROCESS_HEAP_ENTRY* e, Block* b) const {
    memset(e, 0, sizeof *e);
    e->lpData = b->Payload();
    // Data plus overhead spans the block, so entries tile the committed range.
    uint32_t data = b->Busy() ? b->requested : b->size - kHeaderSize;
    uint32_t overhead = b->size - data;
    e->cbData = data;
    e->cbOverhead = static_cast<BYTE>(overhead > 255 ? 255 : overhead);
    e->iRegionIndex = b->region;
    e->wFlags = b->Busy() ? PROCESS_HEAP_ENTRY_BUSY : 0;
}

bool PrivateHeap::FillNextRegion(PROCESS_HEAP_ENTRY* e, const Region* r) const {
    if (r->index + 1u < regionCount_) {
        FillRegionEntry(e, regions_[r->index + 1]);
        return true;
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return false;
}

bool PrivateHeap::FillAfterBlocks(PROCESS_HEAP_ENTRY* e, Region* r) const {
    if (r->committed == r->reserved) return FillNextRegion(e, r);
    memset(e, 0, sizeof *e);
    e->lpData = r->End();
    e->cbData = static_cast<DWORD>(r->reserved - r->committed);
    e->iRegionIndex = r->index;
    e->wFlags = PROCESS_HEAP_UNCOMMITTED_RANGE;
    return true;
}

bool PrivateHeap::Walk(PROCESS_HEAP_ENTRY* e) {
    Lock();
    bool ok = false;
    if (e->lpData == nullptr) {
        if (regionCount_ > 0) {
            FillRegionEntry(e, regions_[0]);
            ok = true;
        }
    } else if (e->wFlags & PROCESS_HEAP_REGION) {
        if (Region* r = RegionAt(e->lpData)) {
            FillBlockEntry(e, r->First());
            ok = true;
        } else {
            SetLastError(ERROR_INVALID_PARAMETER);
        }
    } else if (e->wFlags & PROCESS_HEAP_UNCOMMITTED_RANGE) {
        if (e->iRegionIndex < regionCount_)
            ok = FillNextRegion(e, regions_[e->iRegionIndex]);
        else
            SetLastError(ERROR_INVALID_PARAMETER);
    } else {
        auto* block = reinterpret_cast<Block*>(static_cast<uint8_t*>(e->lpData) - kHeaderSize);
        Region* r = (reinterpret_cast<uintptr_t>(e->lpData) & 15) == 0 ? RegionOf(block) : nullptr;
        if (r == nullptr || block->tag != kTag) {
            SetLastError(ERROR_INVALID_PARAMETER);
        } else if (!block->Last()) {
            FillBlockEntry(e, block->Next());
            ok = true;
        } else {
            ok = FillAfterBlocks(e, r);
        }
    }
    Unlock();
    return ok;
}

}  // namespace zavplatform
