// Addresses to record numbers for the monitoring table: open addressing with
// linear probing, at most half full. An address may be held by more than one
// record (a block released behind the manager's back comes back from the
// heap), so a look-up answers the lowest record number that holds it, as a
// walk from the first record would. Storage comes from malloc, never from
// the manager, and nothing is released at exit (no destructor): the manager
// may still be called while static objects are destroyed.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace zav {

class AddressIndex {
public:
    void Clear();
    // False when the index cannot grow.
    bool Insert(const void* address, uint32_t record);
    // Removes the lowest record number held for the address into *record;
    // false when the address is not held.
    bool TakeLowest(const void* address, uint32_t* record);

private:
    struct Slot {
        const void* address;  // null: empty
        uint32_t record;
    };
    size_t Home(const void* address) const;
    bool Grow();
    void RemoveAt(size_t at);

    Slot* slots_ = nullptr;
    size_t mask_ = 0;  // capacity - 1 once there are slots; capacity is a power of two
    unsigned shift_ = 64;
    size_t count_ = 0;
};

}  // namespace zav
