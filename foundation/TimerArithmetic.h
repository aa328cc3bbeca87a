// The timer's arithmetic, apart from its clock reads so it can be checked at
// counter values and tick sequences a test cannot wait for.
#pragma once

#include <stdint.h>

#include <atomic>

namespace zav {

// floor(count * 1e6 / frequency) without forming the product, which would
// overflow 64 bits after 2.5 hours at a 1 GHz counter. Exact while
// frequency * 1e6 fits in 63 bits (any counter up to 9 THz).
inline uint64_t CountToMicroseconds(int64_t count, int64_t frequency) {
    const int64_t whole = count / frequency;
    const int64_t rest = count % frequency;
    return static_cast<uint64_t>(whole) * 1000000u + static_cast<uint64_t>(rest * 1000000 / frequency);
}

// Widens a 32-bit millisecond tick count that wraps every 49.7 days to 64
// bits. The last tick and the wrap count live in one word, and the tick is
// read inside the compare-and-swap loop, so concurrent readers neither count
// a wrap twice nor take a stale reading for a wrap.
class TickWidener {
public:
    template <typename ReadTick>
    uint64_t Milliseconds(ReadTick readTick) {
        uint64_t state = state_.load(std::memory_order_acquire);
        for (;;) {
            const uint32_t tick = readTick();
            uint64_t wraps = state >> 32;
            if (tick < static_cast<uint32_t>(state)) ++wraps;
            const uint64_t next = (wraps << 32) | tick;
            if (state_.compare_exchange_weak(state, next, std::memory_order_acq_rel, std::memory_order_acquire))
                return next;
        }
    }

private:
    std::atomic<uint64_t> state_{0};
};

}  // namespace zav
