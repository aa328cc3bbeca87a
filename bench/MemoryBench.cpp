#include <stdlib.h>

#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "Ratios.h"
#include "ZAVUtil1.h"

namespace {

constexpr int kBatch = 64;

const std::vector<DWORD>& BatchSizes() {
    static std::vector<DWORD> sizes = [] {
        std::vector<DWORD> s(kBatch);
        std::mt19937 rng(7);
        for (auto& n : s) n = 16 + rng() % 497;  // 16..512 bytes, string-sized
        return s;
    }();
    return sizes;
}

void UseManager(enumZAVMemoryAlloc strategy, DWORD options, int monitor) {
    ZAV_MemoryPoolFree();
    ZAVMemAllocType = ZAVMemAllocUndefined;
    ZAV_MonitorMemory = monitor;
    ZAV_PoolMemBusy = 0;
    ZAV_MemoryDefine(strategy, 0, options);
}

// A batch of 64 blocks obtained, then returned in reverse.
template <typename Get, typename Put>
void RunBatches(benchmark::State& state, Get get, Put put) {
    const auto& sizes = BatchSizes();
    void* blocks[kBatch];
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) blocks[i] = get(sizes[i]);
        benchmark::ClobberMemory();
        for (int i = kBatch - 1; i >= 0; --i) put(blocks[i]);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_malloc_free(benchmark::State& state) {
    RunBatches(state, [](DWORD n) { return malloc(n); }, [](void* p) { free(p); });
}

void BM_ZAV_MemoryGetFree_plain(benchmark::State& state) {
    UseManager(ZAVMemAllocCRT, 0, 0);
    RunBatches(state, [](DWORD n) { return ZAV_MemoryGet(n, 0); }, [](void* p) { ZAV_MemoryFree(p); });
}

void BM_ZAV_MemoryGetFree_guard_table(benchmark::State& state) {
    UseManager(ZAVMemAllocCRT, ZAVMemOptGuard, 1);
    RunBatches(state, [](DWORD n) { return ZAV_MemoryGet(n, 0); }, [](void* p) { ZAV_MemoryFree(p); });
    UseManager(ZAVMemAllocCRT, 0, 0);
}

// The monitoring table with a number of blocks already live (the argument):
// the peer holds as many malloc'd blocks, so both heaps are equally full.
template <typename Get, typename Put>
void RunBatchesBesideLive(benchmark::State& state, Get get, Put put) {
    std::vector<void*> held(static_cast<size_t>(state.range(0)));
    for (void*& p : held) p = get(32);
    RunBatches(state, get, put);
    for (void* p : held) put(p);
    state.counters["live"] = static_cast<double>(held.size());
}

void BM_malloc_free_beside_live(benchmark::State& state) {
    RunBatchesBesideLive(state, [](DWORD n) { return malloc(n); }, [](void* p) { free(p); });
}

void BM_ZAV_MemoryGetFree_monitored(benchmark::State& state) {
    UseManager(ZAVMemAllocCRT, 0, 1);
    RunBatchesBesideLive(state, [](DWORD n) { return ZAV_MemoryGet(n, 0); }, [](void* p) { ZAV_MemoryFree(p); });
    UseManager(ZAVMemAllocCRT, 0, 0);
}

// The aids one at a time, so that the cost of each step shows on its own.
void BM_ZAV_MemoryGetFree_counted(benchmark::State& state) {
    UseManager(ZAVMemAllocCRT, 0, 0);
    ZAV_MonitorMemory = 1;  // counting follows the switch at each call; no table
    RunBatches(state, [](DWORD n) { return ZAV_MemoryGet(n, 0); }, [](void* p) { ZAV_MemoryFree(p); });
    UseManager(ZAVMemAllocCRT, 0, 0);
}

void BM_ZAV_MemoryGetFree_table_uncounted(benchmark::State& state) {
    UseManager(ZAVMemAllocCRT, 0, 1);
    ZAV_MonitorMemory = 0;  // the table stays, decided at definition
    RunBatches(state, [](DWORD n) { return ZAV_MemoryGet(n, 0); }, [](void* p) { ZAV_MemoryFree(p); });
    UseManager(ZAVMemAllocCRT, 0, 0);
}

void BM_ZAV_MemoryGetFree_guard(benchmark::State& state) {
    UseManager(ZAVMemAllocCRT, ZAVMemOptGuard, 0);
    RunBatches(state, [](DWORD n) { return ZAV_MemoryGet(n, 0); }, [](void* p) { ZAV_MemoryFree(p); });
    UseManager(ZAVMemAllocCRT, 0, 0);
}

// What a record asks of the stand-in, and the table's lock, per batch of
// 64 pairs: one stamp per block, one lock per call.
void BM_record_stamps(benchmark::State& state) {
    WCHAR text[9];
    for (auto _ : state)
        for (int i = 0; i < kBatch; ++i) {
            benchmark::DoNotOptimize(GetCurrentThreadId());
            benchmark::DoNotOptimize(_wstrtime(text));
        }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_table_lock(benchmark::State& state) {
    static std::mutex lock;
    for (auto _ : state)
        for (int i = 0; i < 2 * kBatch; ++i) {
            lock.lock();
            benchmark::ClobberMemory();
            lock.unlock();
        }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_usable_size(benchmark::State& state) {
    void* block = malloc(100);
    for (auto _ : state)
        for (int i = 0; i < 2 * kBatch; ++i) benchmark::DoNotOptimize(_msize(block));
    free(block);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// A working set of 1024 blocks of 16 to 4096 bytes; each step replaces one.
constexpr int kSlots = 1024, kSteps = 4096;

struct Mix {
    std::vector<uint32_t> slot, size;
    Mix() : slot(kSteps), size(kSteps) {
        std::mt19937 rng(11);
        for (int i = 0; i < kSteps; ++i) {
            slot[i] = rng() % kSlots;
            size[i] = 16 + rng() % 4081;
        }
    }
};

template <typename Get, typename Put>
void RunMix(benchmark::State& state, Get get, Put put) {
    static const Mix mix;
    std::vector<void*> live(kSlots);
    for (int i = 0; i < kSlots; ++i) live[i] = get(mix.size[i % kSteps]);
    for (auto _ : state) {
        for (int i = 0; i < kSteps; ++i) {
            void*& p = live[mix.slot[i]];
            put(p);
            p = get(mix.size[i]);
        }
        benchmark::ClobberMemory();
    }
    for (void* p : live) put(p);
    state.SetItemsProcessed(state.iterations() * kSteps);
}

void BM_malloc_mix_16_4096(benchmark::State& state) {
    RunMix(state, [](size_t n) { return malloc(n); }, [](void* p) { free(p); });
}

void BM_HeapAlloc_mix_16_4096(benchmark::State& state) {
    HANDLE heap = HeapCreate(0, 0, 0);
    RunMix(state, [heap](size_t n) { return HeapAlloc(heap, 0, n); }, [heap](void* p) { HeapFree(heap, 0, p); });
    HeapDestroy(heap);
}

BENCHMARK(BM_malloc_free);
BENCHMARK(BM_ZAV_MemoryGetFree_plain);
BENCHMARK(BM_ZAV_MemoryGetFree_guard_table);
BENCHMARK(BM_ZAV_MemoryGetFree_counted);
BENCHMARK(BM_ZAV_MemoryGetFree_table_uncounted);
BENCHMARK(BM_ZAV_MemoryGetFree_guard);
BENCHMARK(BM_record_stamps);
BENCHMARK(BM_table_lock);
BENCHMARK(BM_usable_size);
BENCHMARK(BM_malloc_free_beside_live)->Arg(0)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ZAV_MemoryGetFree_monitored)->Arg(0)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_malloc_mix_16_4096);
BENCHMARK(BM_HeapAlloc_mix_16_4096);

// One ratio per number of live blocks: the curve should stay flat. Two
// sections of a sleeping lock per pair put it near 5.5.
bool DeclareMonitoringCurve() {
    for (const char* live : {"0", "1000", "10000", "100000"})
        zavbench::DeclareRatio(std::string("BM_ZAV_MemoryGetFree_monitored/") + live,
                               std::string("BM_malloc_free_beside_live/") + live, 6.0);
    return true;
}

const bool declared = (zavbench::DeclareRatio("BM_ZAV_MemoryGetFree_plain", "BM_malloc_free", 1.1),
                       zavbench::DeclareRatio("BM_ZAV_MemoryGetFree_guard_table", "BM_malloc_free", 2.5),
                       zavbench::DeclareRatio("BM_ZAV_MemoryGetFree_counted", "BM_malloc_free", 0),
                       zavbench::DeclareRatio("BM_ZAV_MemoryGetFree_table_uncounted", "BM_malloc_free", 0),
                       zavbench::DeclareRatio("BM_ZAV_MemoryGetFree_guard", "BM_malloc_free", 0),
                       zavbench::DeclareRatio("BM_record_stamps", "BM_malloc_free", 0),
                       zavbench::DeclareRatio("BM_table_lock", "BM_malloc_free", 0),
                       zavbench::DeclareRatio("BM_usable_size", "BM_malloc_free", 0),
                       zavbench::DeclareRatio("BM_HeapAlloc_mix_16_4096", "BM_malloc_mix_16_4096", 1.5),
                       DeclareMonitoringCurve(), true);

}  // namespace
