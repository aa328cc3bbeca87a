// A lock that leans towards the thread that takes it most. Once one thread
// has taken it many times in a row, the lock is biased to it: that thread
// then enters with plain loads and stores, no atomic instruction at all,
// which is most of what a short section costs. Any other thread takes the
// shared lock underneath and revokes the bias first: it clears the owner,
// makes every thread of the process pass a memory barrier, and waits until
// the owner is out. The barrier is what orders the owner's "inside" store
// before its second look at the owner for the CPU, so the owner sees the
// revocation or the revoker sees it inside. Each revocation costs such a
// barrier (microseconds), so every one doubles the streak that earns a
// bias; threads that take turns soon share the plain lock only.
// Without a process-wide barrier (the Windows build) no bias is granted.
#pragma once

#include <stdint.h>

#include <atomic>
#include <thread>

#include "SpinLock.h"
#include "ZAVPlatform.h"

namespace zav {

class BiasedLock {
public:
    // self: the caller's thread id, never 0. Answers whether the bias let
    // it in; unlock wants the answer back.
    bool lock(DWORD self) {
        if (owner_.load(std::memory_order_relaxed) == self) {
            inside_.store(true, std::memory_order_relaxed);
            // Holds back the compiler only; the revoker's barrier orders
            // the store and the load for the CPU.
            std::atomic_signal_fence(std::memory_order_seq_cst);
            if (owner_.load(std::memory_order_acquire) == self) return true;
            inside_.store(false, std::memory_order_release);
        }
        LockShared(self);
        return false;
    }
    void unlock(bool biased) {
        if (biased)
            inside_.store(false, std::memory_order_release);
        else
            UnlockShared();
    }

    // For tests: biases granted and revoked so far.
    uint32_t Grants() const { return grants_.load(std::memory_order_relaxed); }
    uint32_t Revocations() const { return revocations_.load(std::memory_order_relaxed); }

    class Hold {
    public:
        Hold(BiasedLock& lock, DWORD self) : lock_(lock), biased_(lock.lock(self)) {}
        ~Hold() { lock_.unlock(biased_); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        BiasedLock& lock_;
        const bool biased_;
    };

private:
    static constexpr uint32_t kLongestStreakForBias = 1u << 20;

    ZAV_NOINLINE void LockShared(DWORD self) {
        shared_.lock();
        holder_ = self;
        const DWORD owner = owner_.load(std::memory_order_relaxed);
        if (owner == 0 || owner == self) return;
        owner_.store(0, std::memory_order_relaxed);
        // After the barrier the owner is either seen inside or sees no bias.
        ZAVPlatform_ProcessWideBarrier();
        while (inside_.load(std::memory_order_acquire)) std::this_thread::yield();
        revocations_.fetch_add(1, std::memory_order_relaxed);
        if (streakForBias_ < kLongestStreakForBias) streakForBias_ *= 2;
    }

    ZAV_NOINLINE void UnlockShared() {
        if (holder_ == streakThread_) {
            ++streak_;
        } else {
            streakThread_ = holder_;
            streak_ = 1;
        }
        if (streak_ >= streakForBias_ && owner_.load(std::memory_order_relaxed) != holder_) {
            if (barrier_ == 0) barrier_ = ZAVPlatform_ProcessWideBarrier() ? 1 : -1;
            if (barrier_ > 0) {
                owner_.store(holder_, std::memory_order_relaxed);
                grants_.fetch_add(1, std::memory_order_relaxed);
            }
            streak_ = 0;
        }
        shared_.unlock();
    }

    std::atomic<DWORD> owner_{0};     // the thread the lock is biased to; 0: none
    std::atomic<bool> inside_{false}; // the owner is in through the bias
    SpinLock shared_;
    // Under shared_:
    DWORD holder_ = 0;
    DWORD streakThread_ = 0;
    uint32_t streak_ = 0;
    uint32_t streakForBias_ = 256;
    int barrier_ = 0;  // 1: the process-wide barrier works; -1: none; 0: not yet tried
    std::atomic<uint32_t> grants_{0}, revocations_{0};
};

}  // namespace zav
