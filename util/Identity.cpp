// The logon and computer names, each asked of the system until it gives a
// name and then kept.
#include <atomic>

#include "ZAVFrame.h"
#include "ZAVIdentity.h"

namespace {

const WCHAR kUnknown[] = {'U', 'n', 'k', 'n', 'o', 'w', 'n', 0};

// Written once, by whichever first caller has a name; readers copy it only
// after it is complete, and callers that lose the race keep their own answer.
class NameCache {
public:
    bool Filled() const { return state_.load(std::memory_order_acquire) == kFilled; }
    const ZAVString& name() const { return name_; }

    void Publish(const ZAVString& found) {
        if (found.empty()) return;  // asked again next time
        int expected = kEmpty;
        if (!state_.compare_exchange_strong(expected, kWriting, std::memory_order_acq_rel)) return;
        try {
            name_ = found;
        } catch (...) {
            state_.store(kEmpty, std::memory_order_release);
            return;
        }
        state_.store(kFilled, std::memory_order_release);
    }

private:
    enum { kEmpty, kWriting, kFilled };
    ZAVString name_;
    std::atomic<int> state_{kEmpty};
};

// Never destroyed: a host may tear down the memory manager's private heap
// before exit, and a cache freed into it at exit would fault.
NameCache& LogonCache() {
    static NameCache* const cache = new NameCache;
    return *cache;
}

NameCache& ComputerCache() {
    static NameCache* const cache = new NameCache;
    return *cache;
}

ZAVString AskLogonName() {
    try {
        if (ZAV_IsWinNT()) {
            const DWORD kLength = 255;
            WCHAR name[kLength + 1] = {};
            DWORD length = kLength;
            if (WNetGetUserW(nullptr, name, &length) == NO_ERROR) return ZAVString(name);
            DWORD size = kLength;
            if (GetUserNameW(name, &size)) return ZAVString(name);
        } else {
            const DWORD kLength = 256;
            char name[kLength + 1] = {};
            DWORD length = kLength;
            if (WNetGetUserA(nullptr, name, &length) == NO_ERROR) return ZAVString(name);
            DWORD size = kLength;
            if (GetUserNameA(name, &size)) return ZAVString(name);
        }
    } catch (...) {
    }
    return ZAVString(kUnknown);
}

ZAVString AskComputerName() {
    const DWORD kLength = MAX_COMPUTERNAME_LENGTH + 1;
    if (ZAV_IsWinNT()) {
        WCHAR name[kLength] = {};
        DWORD size = kLength;
        return GetComputerNameW(name, &size) ? ZAVString(name, size) : ZAVString();
    }
    char name[kLength + 1] = {};
    DWORD size = kLength;
    GetComputerNameA(name, &size);  // a failure leaves the buffer empty
    return ZAVString(name);
}

ZAVString Cached(NameCache& cache, ZAVString (*ask)()) {
    if (cache.Filled()) return cache.name();
    const ZAVString found = ask();
    cache.Publish(found);
    return found;
}

}  // namespace

ZAVString ZAV_GetLogonId() { return Cached(LogonCache(), AskLogonName); }

ZAVString ZAV_GetComputerName() { return Cached(ComputerCache(), AskComputerName); }
