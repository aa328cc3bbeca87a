// Shared set-up of the foundation tests (also of the string storage and
// message tests): the memory manager put back to its state at load around
// every test, as a host may by writing the exported variables; list items;
// thrown codes; threads; the heap's compatibility mode.
#pragma once

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZAVUtil1.h"

#ifndef _WIN32
#include "ZAVPlatformTest.h"  // the stand-in's controls
#endif

struct ListItem {
    ZAVLink link;  // first member: the item's address is its link's
    int value;
};

inline int ValueOf(ZAVLink* link) { return reinterpret_cast<ListItem*>(link)->value; }

// The code f throws as a Code, or 0.
template <typename Code, typename F>
Code ThrownCode(F&& f) {
    try {
        f();
    } catch (Code code) {
        return code;
    }
    return 0;
}

// Runs f(0) to f(n - 1) on threads of their own, all at once, and waits for them.
template <typename F>
void OnThreads(int n, F f) {
    std::vector<std::thread> threads;
    for (int t = 0; t < n; ++t) threads.emplace_back(f, t);
    for (std::thread& t : threads) t.join();
}

// The heap's compatibility mode: 2 is the low-fragmentation heap.
inline ULONG HeapCompatibility(HANDLE heap) {
    ULONG value = 99;
    HeapQueryInformation(heap, HeapCompatibilityInformation, &value, sizeof value, nullptr);
    return value;
}

class MemoryManagerTest : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        ZAV_MemoryPoolFree();
        ZAVMemAllocType = ZAVMemAllocUndefined;
        ZAVMemOptions = 0;
        ZAV_MonitorMemory = 0;
        ZAV_PoolMemBusy = 0;
    }
};
