#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZAVPlatform.h"

namespace {

struct Heap {
    HANDLE h = HeapCreate(0, 65536, 0);
    ~Heap() { HeapDestroy(h); }
};

TEST(PrivateHeap, ThreadsShareOneHeap) {
    Heap heap;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&heap, t] {
            std::mt19937 rng(t);
            std::vector<unsigned char*> mine;
            for (int i = 0; i < 20000; ++i) {
                if (mine.size() < 64 && rng() % 2 == 0) {
                    auto* p = static_cast<unsigned char*>(HeapAlloc(heap.h, 0, 16 + rng() % 2000));
                    *p = static_cast<unsigned char>(t);
                    mine.push_back(p);
                } else if (!mine.empty()) {
                    EXPECT_EQ(*mine.back(), t);
                    HeapFree(heap.h, 0, mine.back());
                    mine.pop_back();
                }
            }
            for (auto* p : mine) HeapFree(heap.h, 0, p);
        });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(HeapValidate(heap.h, 0, nullptr));
}

TEST(LastError, IsPerThread) {
    SetLastError(42);
    DWORD other = 1;
    std::thread([&] { other = GetLastError(); SetLastError(7); }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 42u);
    EXPECT_NE(GetCurrentThreadId(), 0u);
}

TEST(CriticalSection, IsRecursiveForItsHolderAndExcludesOthers) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    std::atomic<int> tried{-1};
    std::thread([&] { tried = TryEnterCriticalSection(&cs); }).join();
    EXPECT_EQ(tried.load(), FALSE);
    LeaveCriticalSection(&cs);
    std::thread([&] { tried = TryEnterCriticalSection(&cs); }).join();
    EXPECT_EQ(tried.load(), FALSE) << "still held once";
    LeaveCriticalSection(&cs);
    std::thread([&] {
        tried = TryEnterCriticalSection(&cs);
        if (tried) LeaveCriticalSection(&cs);
    }).join();
    EXPECT_EQ(tried.load(), TRUE);
    DeleteCriticalSection(&cs);
}

}  // namespace
