#include <zlib.h>

#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "Ratios.h"
#include "ZAVUtil1.h"

namespace {

std::vector<unsigned char>& OneMebibyte() {
    static std::vector<unsigned char> data = [] {
        std::vector<unsigned char> d(1 << 20);
        std::mt19937 rng(1);
        for (auto& b : d) b = static_cast<unsigned char>(rng());
        return d;
    }();
    return data;
}

void BM_ZAV_CRCCompute_1MiB(benchmark::State& state) {
    auto& data = OneMebibyte();
    for (auto _ : state) {
        DWORD crc = ~ZAV_CRCCompute(0xFFFFFFFF, data.data(), static_cast<DWORD>(data.size()));
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}

void BM_zlib_crc32_1MiB(benchmark::State& state) {
    auto& data = OneMebibyte();
    for (auto _ : state) {
        uLong crc = crc32(0, data.data(), static_cast<uInt>(data.size()));
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}

BENCHMARK(BM_ZAV_CRCCompute_1MiB);
BENCHMARK(BM_zlib_crc32_1MiB);

const bool declared = (zavbench::DeclareRatio("BM_ZAV_CRCCompute_1MiB", "BM_zlib_crc32_1MiB", 1.0), true);

}  // namespace
