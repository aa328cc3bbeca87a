// Puts the process-wide memory manager back to its state at load around
// every test, as a host may by writing the exported variables.
#pragma once

#include <gtest/gtest.h>

#include "ZAVUtil1.h"

// The heap's compatibility mode: 2 is the low-fragmentation heap.
inline ULONG HeapCompatibility(HANDLE heap) {
    ULONG value = 99;
    HeapQueryInformation(heap, HeapCompatibilityInformation, &value, sizeof value, nullptr);
    return value;
}

class MemoryManagerTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }

    static void Reset() {
        ZAV_MemoryPoolFree();
        ZAVMemAllocType = ZAVMemAllocUndefined;
        ZAVMemOptions = 0;
        ZAV_MonitorMemory = 0;
        ZAV_PoolMemBusy = 0;
    }
};
