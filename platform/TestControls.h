// Shared state behind ZAVPlatformTest.h, read by the facilities it bends.
#pragma once

#include <atomic>

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
};

TestControls& Controls();

}  // namespace zavplatform
