// ZAVString against std::u16string on the same work. Both use the default
// allocation path: the memory manager without guards, and operator new.
#include <string>

#include <benchmark/benchmark.h>

#include "Ratios.h"
#include "ZAVUtil1.h"

namespace {

const WCHAR kPieceA[] = ZAV_TEXT("Service ");
const WCHAR kPieceB[] = ZAV_TEXT("started: ");
const WCHAR kPieceC[] = ZAV_TEXT("ok");

// A short message made of three pieces, as hosts build their log lines.
void BM_ZAVString_short_append(benchmark::State& state) {
    for (auto _ : state) {
        ZAVString s(kPieceA);
        s.append(kPieceB);
        s.append(kPieceC);
        benchmark::DoNotOptimize(s.c_str());
    }
}

void BM_u16string_short_append(benchmark::State& state) {
    for (auto _ : state) {
        std::u16string s(kPieceA);
        s.append(kPieceB);
        s.append(kPieceC);
        benchmark::DoNotOptimize(s.c_str());
    }
}

const WCHAR kShortText[] = ZAV_TEXT("C:\\Program Files\\Agent\\bin");

void BM_ZAVString_short_find(benchmark::State& state) {
    const ZAVString s(kShortText);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.find(ZAV_TEXT("bin")));
        benchmark::DoNotOptimize(s.find_last_of(u'\\'));
    }
}

void BM_u16string_short_find(benchmark::State& state) {
    const std::u16string s(kShortText);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.find(u"bin"));
        benchmark::DoNotOptimize(s.find_last_of(u'\\'));
    }
}

void BM_ZAVString_short_compare(benchmark::State& state) {
    const ZAVString a(kShortText), b(ZAV_TEXT("C:\\Program Files\\Agent\\bim"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.compare(b));
        benchmark::DoNotOptimize(a.compare(0, 10, b, 0, 10));
    }
}

void BM_u16string_short_compare(benchmark::State& state) {
    const std::u16string a(kShortText), b(u"C:\\Program Files\\Agent\\bim");
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.compare(b));
        benchmark::DoNotOptimize(a.compare(0, 10, b, 0, 10));
    }
}

// 64 Ki characters of a repeating text; the pattern sits at the very end.
std::u16string LongText() {
    std::u16string text;
    while (text.size() < 65536) text += u"the quick brown fox jumps over the lazy dog; ";
    return text + u"needle";
}

void BM_ZAVString_long_find(benchmark::State& state) {
    const std::u16string model = LongText();
    const ZAVString s(model.c_str());
    for (auto _ : state) benchmark::DoNotOptimize(s.find(ZAV_TEXT("needle")));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(2 * model.size()));
}

void BM_u16string_long_find(benchmark::State& state) {
    const std::u16string s = LongText();
    for (auto _ : state) benchmark::DoNotOptimize(s.find(u"needle"));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(2 * s.size()));
}

// One character at a time: the fixed step of 16 reallocates every 16
// characters, where the standard string doubles. This is the contract.
constexpr int kBuilt = 4096;

void BM_ZAVString_char_by_char(benchmark::State& state) {
    for (auto _ : state) {
        ZAVString s;
        for (int i = 0; i < kBuilt; ++i) s.append(1, static_cast<WCHAR>(u'a' + i % 26));
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kBuilt);
}

void BM_u16string_char_by_char(benchmark::State& state) {
    for (auto _ : state) {
        std::u16string s;
        for (int i = 0; i < kBuilt; ++i) s.append(1, static_cast<char16_t>(u'a' + i % 26));
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kBuilt);
}

BENCHMARK(BM_ZAVString_short_append);
BENCHMARK(BM_u16string_short_append);
BENCHMARK(BM_ZAVString_short_find);
BENCHMARK(BM_u16string_short_find);
BENCHMARK(BM_ZAVString_short_compare);
BENCHMARK(BM_u16string_short_compare);
BENCHMARK(BM_ZAVString_long_find);
BENCHMARK(BM_u16string_long_find);
BENCHMARK(BM_ZAVString_char_by_char);
BENCHMARK(BM_u16string_char_by_char);

const bool declared = (zavbench::DeclareRatio("BM_ZAVString_short_append", "BM_u16string_short_append", 1.3),
                       zavbench::DeclareRatio("BM_ZAVString_short_find", "BM_u16string_short_find", 1.3),
                       zavbench::DeclareRatio("BM_ZAVString_short_compare", "BM_u16string_short_compare", 1.3),
                       zavbench::DeclareRatio("BM_ZAVString_long_find", "BM_u16string_long_find", 1.2),
                       zavbench::DeclareRatio("BM_ZAVString_char_by_char", "BM_u16string_char_by_char", 0),
                       true);

}  // namespace
