#include "AddressIndex.h"

#include <stdlib.h>
#include <string.h>

namespace zav {

void AddressIndex::Clear() {
    if (slots_ != nullptr) memset(slots_, 0, (mask_ + 1) * sizeof(Slot));
    count_ = 0;
}

bool AddressIndex::Grow() {
    const size_t oldCapacity = slots_ != nullptr ? mask_ + 1 : 0;
    const size_t capacity = oldCapacity != 0 ? oldCapacity * 2 : 64;
    Slot* fresh = static_cast<Slot*>(calloc(capacity, sizeof(Slot)));
    if (fresh == nullptr) return false;
    Slot* old = slots_;
    slots_ = fresh;
    mask_ = capacity - 1;
    shift_ = 64;
    for (size_t c = capacity; c > 1; c >>= 1) --shift_;
    for (size_t i = 0; i < oldCapacity; ++i)
        if (old[i].address != nullptr) {
            size_t at = Home(old[i].address);
            while (slots_[at].address != nullptr) at = (at + 1) & mask_;
            slots_[at] = old[i];
        }
    free(old);
    return true;
}

// Backward-shift deletion: later members of the probe run move up into the
// hole when their home allows, so no tombstones build up.
void AddressIndex::RemoveAt(size_t hole) {
    for (size_t at = (hole + 1) & mask_; slots_[at].address != nullptr; at = (at + 1) & mask_) {
        const size_t home = Home(slots_[at].address);
        // The entry may move to the hole unless its home lies cyclically in (hole, at].
        const bool homeAfterHole = hole <= at ? (hole < home && home <= at) : (hole < home || home <= at);
        if (!homeAfterHole) {
            slots_[hole] = slots_[at];
            hole = at;
        }
    }
    slots_[hole] = {nullptr, 0};
    --count_;
}

}  // namespace zav
