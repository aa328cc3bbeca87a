// Shared state behind ZAVPlatformTest.h, read by the facilities it bends.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "ZAVPlatform.h"

namespace zavplatform {

// A countdown to the failing call: 1 means the next one. Once it has
// fired it stays at 0, or, persistent, every later call fails too. Every
// call is counted, so a test can learn how many a workload makes.
struct Countdown {
    std::atomic<long long> left{0};
    std::atomic<bool> persistent{false};
    std::atomic<DWORD> fired{0};
    std::atomic<DWORD> counted{0};

    void Arm(DWORD nth, bool everyLater) {
        persistent = everyLater;
        fired = 0;
        counted = 0;
        left = static_cast<long long>(nth);
    }
    bool Fire() {
        counted.fetch_add(1);
        long long now = left.load();
        while (now > 0)
            if (left.compare_exchange_weak(now, now - 1)) {
                if (now != 1) return false;
                fired.fetch_add(1);
                return true;
            }
        if (fired.load() != 0 && persistent.load()) {
            fired.fetch_add(1);
            return true;
        }
        return false;
    }
};

// A drive name as the network provider's table keys it.
inline std::u16string UpperDrive(std::u16string drive) {
    for (auto& c : drive)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return drive;
}

// Set by the test-only library's ZAVPlatformTest_* functions; the
// production library reads the defaults.
struct TestControls {
    std::atomic<bool> versionEmulated{false};
    std::atomic<bool> failVersionQuery{false};
    DWORD platformId = 0, major = 0, minor = 0, build = 0;

    std::atomic<bool> failPerformanceFrequency{false};
    std::atomic<LONGLONG> performanceFrequency{0};
    std::atomic<LONGLONG> performanceCounterOffset{0};
    std::atomic<DWORD> tickCountOffset{0};

    std::atomic<bool> failHeapCreate{false};
    std::atomic<void (*)(void*)> afterHeapUnlock{nullptr};
    std::atomic<void*> afterHeapUnlockContext{nullptr};
    std::atomic<void (*)(void*)> insideSetEvent{nullptr};
    std::atomic<void*> insideSetEventContext{nullptr};

    // Entry points GetProcAddress pretends not to know; under hiddenLock.
    std::mutex hiddenLock;
    std::set<std::string> hiddenProcedures;

    Countdown allocations, writes;
    std::atomic<DWORD> partialWriteBytes{0};

    // Identity and network provider; under identityLock.
    std::mutex identityLock;
    bool networkProvider = false;
    std::optional<std::u16string> networkUser;
    std::map<std::u16string, std::u16string> connections;  // drive (upper case) -> network name
    std::optional<std::u16string> userName;
    bool failUserName = false;
    std::optional<std::u16string> computerName;
    std::atomic<DWORD> identityQueries{0};

    // The event log's sockets, the system's when empty; under eventLogLock.
    std::mutex eventLogLock;
    std::optional<std::string> journalSocket, eventLogSocket;
    std::atomic<bool> failRegisterEventSource{false};
};

TestControls& Controls();

}  // namespace zavplatform
