// Blocks the library takes from its own memory manager for its own use.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <new>

#include "ZAVMemory.h"

namespace zav {

// The one way the library obtains a block for itself: bytes from the memory
// manager, or std::bad_alloc when it has none (a size past a DWORD has none
// either). A public function that promises another failure, such as the
// code 8, turns this one into its own where it is called.
inline void* ObtainBlock(uint64_t bytes) {
    void* block = bytes <= 0xFFFFFFFFu ? ZAV_MemoryGet(static_cast<DWORD>(bytes), 0) : nullptr;
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

// Gives a block back; null is none.
inline void ReleaseBlock(void* block) {
    if (block != nullptr) ZAV_MemoryFree(block);
}

// Owns one block of the memory manager, given back on every path unless
// Release hands it on. Empty until Obtain when made without a size.
template <typename T>
class MemoryBlock {
public:
    MemoryBlock() = default;
    explicit MemoryBlock(size_t bytes) { Obtain(bytes); }
    ~MemoryBlock() { ReleaseBlock(block_); }
    MemoryBlock(const MemoryBlock&) = delete;
    MemoryBlock& operator=(const MemoryBlock&) = delete;

    // Only into an empty owner.
    void Obtain(size_t bytes) { block_ = static_cast<T*>(ObtainBlock(bytes)); }
    T* get() const { return block_; }
    T* operator->() const { return block_; }
    T* Release() {
        T* block = block_;
        block_ = nullptr;
        return block;
    }

private:
    T* block_ = nullptr;
};

}  // namespace zav
