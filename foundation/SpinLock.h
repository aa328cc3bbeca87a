// A lock for sections of a few dozen instructions that threads seldom
// contend for: taking it is one atomic exchange and giving it back a plain
// store, where a mutex costs two atomic operations and two calls. A waiter
// yields its turn, so one preempted while holding it costs the others
// little on a machine with fewer cores than threads.
#pragma once

#include <atomic>
#include <thread>

namespace zav {

class SpinLock {
public:
    void lock() {
        while (held_.exchange(true, std::memory_order_acquire))
            while (held_.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
    void unlock() { held_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> held_{false};
};

}  // namespace zav
