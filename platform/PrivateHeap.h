// A growable, walkable heap in the manner of a Windows private heap.
//
// Address space is reserved in regions and committed from each region's start
// as the heap grows; the committed part of a region is carved, end to end,
// into blocks with 16-byte boundary tags, so a walk can visit every busy and
// free block in address order. Free blocks sit on two-level segregated lists
// (TLSF), which makes allocation and release constant time, and neighbours
// are merged on release.
#pragma once

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

#include "ZAVPlatform.h"

namespace zavplatform {

class PrivateHeap {
public:
    static constexpr size_t kMaxRegions = 64;

    // Null when not even the first region can be had.
    static PrivateHeap* Create(size_t initialSize);
    static bool IsHeap(const void* handle);
    void Destroy();

    void* Allocate(size_t bytes, bool zero);
    void* Reallocate(void* mem, size_t bytes, bool zero, bool inPlaceOnly);
    bool Free(void* mem);
    // SIZE_T(-1) for a pointer that is not a busy block of this heap.
    size_t SizeOf(const void* mem);
    // Releases committed pages at the ends of regions; answers the largest
    // committed free block that remains.
    size_t Compact();
    bool Validate(const void* mem);
    bool Walk(PROCESS_HEAP_ENTRY* entry);

    void Lock() { pthread_mutex_lock(&mutex_); }
    void Unlock() { pthread_mutex_unlock(&mutex_); }
    // Block and region headers; public for the layout checks only.
    struct Block;
    struct Region;

    void SetLowFragmentation() { lowFragmentation_ = true; }
    bool LowFragmentation() const { return lowFragmentation_; }

private:
    static constexpr unsigned kSlLog = 4;
    static constexpr unsigned kSlCount = 1u << kSlLog;
    static constexpr unsigned kFlCount = 26;

    PrivateHeap() = default;
    ~PrivateHeap() = default;

    Region* AddRegion(size_t minimumBlock);
    bool GrowRegion(Region* region, size_t minimumBlock);
    Block* FindFree(uint32_t size);
    Block* Carve(Block* block, uint32_t size);
    void InsertFree(Block* block);
    void RemoveFree(Block* block);
    Block* MergeNeighbours(Block* block);
    void AbsorbNext(Block* block);
    void SettleEnd(Block* block);
    Block* BusyBlockOf(const void* mem) const;
    Region* RegionOf(const Block* block) const;
    Region* RegionAt(const void* base) const;
    bool ValidateAll() const;
    void FillBlockEntry(PROCESS_HEAP_ENTRY* entry, Block* block) const;
    void FillRegionEntry(PROCESS_HEAP_ENTRY* entry, Region* region) const;
    bool FillAfterBlocks(PROCESS_HEAP_ENTRY* entry, Region* region) const;
    bool FillNextRegion(PROCESS_HEAP_ENTRY* entry, const Region* region) const;

    uint32_t magic_ = 0;
    pthread_mutex_t mutex_;
    bool lowFragmentation_ = false;
    uint32_t flBitmap_ = 0;
    uint32_t slBitmap_[kFlCount] = {};
    Block* freeLists_[kFlCount][kSlCount] = {};
    Region* regions_[kMaxRegions] = {};
    unsigned regionCount_ = 0;
};

}  // namespace zavplatform
