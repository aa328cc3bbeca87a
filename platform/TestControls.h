// Shared state behind ZAVPlatformTest.h, read by the facilities it bends.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "ZAVPlatform.h"

namespace zavplatform {

struct TestControls {
    std::atomic<bool> versionEmulated{false};
    std::atomic<bool> failVersionQuery{false};
    DWORD platformId = 0, major = 0, minor = 0, build = 0;

    std::atomic<bool> failPerformanceFrequency{false};
    std::atomic<LONGLONG> performanceFrequency{0};
    std::atomic<LONGLONG> performanceCounterOffset{0};
    std::atomic<DWORD> tickCountOffset{0};

    std::atomic<bool> failHeapCreate{false};

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
