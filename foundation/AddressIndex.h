// Addresses to record numbers for the monitoring table: open addressing with
// linear probing, at most a quarter full. An address may be held by more than one
// record (a block released behind the manager's back comes back from the
// heap), so a look-up answers the lowest record number that holds it, as a
// walk from the first record would. Storage comes from malloc, never from
// the manager, and nothing is released at exit (no destructor): the manager
// may still be called while static objects are destroyed.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace zav {

// Inserting and taking are inline: the monitor calls them on every
// allocation and release.
class AddressIndex {
public:
    void Clear();
    // False when the index cannot grow.
    bool Insert(const void* address, uint32_t record) {
        if ((slots_ == nullptr || 4 * (count_ + 1) > mask_ + 1) && !Grow()) return false;
        size_t at = Home(address);
        while (slots_[at].address != nullptr) at = (at + 1) & mask_;
        slots_[at] = {address, record};
        ++count_;
        return true;
    }
    // Removes the lowest record number held for the address into *record;
    // false when the address is not held.
    bool TakeLowest(const void* address, uint32_t* record) {
        if (slots_ == nullptr) return false;
        size_t found = SIZE_MAX;
        for (size_t at = Home(address); slots_[at].address != nullptr; at = (at + 1) & mask_)
            if (slots_[at].address == address && (found == SIZE_MAX || slots_[at].record < slots_[found].record))
                found = at;
        if (found == SIZE_MAX) return false;
        *record = slots_[found].record;
        RemoveAt(found);
        return true;
    }

private:
    struct Slot {
        const void* address;  // null: empty
        uint32_t record;
    };
    // Neighbouring blocks get neighbouring slots, so that the blocks a host
    // works with at one time share a few cache lines and pages of the index
    // however large it is: the slot is the address in 16-byte units, turned
    // by a Fibonacci hash of the part above the index's reach, which keeps
    // blocks far apart from falling on the same slots.
    size_t Home(const void* address) const {
        const uint64_t unit = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address)) >> 4;
        const uint64_t region = unit >> (64 - shift_);
        return static_cast<size_t>(unit + ((region * 0x9E3779B97F4A7C15ull) >> shift_)) & mask_;
    }
    bool Grow();
    void RemoveAt(size_t at);

    Slot* slots_ = nullptr;
    size_t mask_ = 0;  // capacity - 1 once there are slots; capacity is a power of two
    unsigned shift_ = 64;
    size_t count_ = 0;
};

}  // namespace zav
