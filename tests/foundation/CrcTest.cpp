#include <string.h>

#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZAVUtil1.h"

namespace {

// The byte-at-a-time definition, with the table built as the first call would.
DWORD ReferenceCrc(DWORD crc, const unsigned char* p, size_t n) {
    static DWORD table[256];
    static bool built = false;
    if (!built) {
        for (DWORD i = 0; i < 256; ++i) {
            DWORD c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            table[i] = c;
        }
        built = true;
    }
    for (size_t i = 0; i < n; ++i) crc = (crc >> 8) ^ table[(crc ^ p[i]) & 0xFF];
    return crc;
}

DWORD Crc(DWORD crc, const void* p, size_t n) {
    return ZAV_CRCCompute(crc, static_cast<unsigned char*>(const_cast<void*>(p)), static_cast<DWORD>(n));
}

TEST(Crc, KnownValuesAndChaining) {
    EXPECT_EQ(Crc(0xFFFFFFFF, "abc", 3), 0xCADBBE3Du);
    EXPECT_EQ(~Crc(0xFFFFFFFF, "abc", 3), 0x352441C2u);
    EXPECT_EQ(Crc(0, "abc", 3), 0xCA6598D0u);
    EXPECT_EQ(Crc(Crc(0xFFFFFFFF, "a", 1), "bc", 2), 0xCADBBE3Du);
    EXPECT_EQ(~Crc(0xFFFFFFFF, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc(0x12345678, nullptr, 0), 0x12345678u);
}

// Every length around the vector paths' thresholds, at every alignment, from
// several running values, against the definition.
TEST(Crc, MatchesTheByteLoopForAnyLengthAlignmentAndStart) {
    std::mt19937 rng(99);
    std::vector<unsigned char> data(4096 + 64);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    for (size_t offset = 0; offset < 16; ++offset)
        for (size_t n = 0; n <= 300; ++n)
            for (DWORD start : {0u, 0xFFFFFFFFu, 0x9E3779B9u})
                ASSERT_EQ(Crc(start, &data[offset], n), ReferenceCrc(start, &data[offset], n))
                    << "offset " << offset << " length " << n;
    for (size_t n : {1000, 1023, 1024, 4095, 4096})
        EXPECT_EQ(Crc(0xFFFFFFFF, &data[3], n), ReferenceCrc(0xFFFFFFFF, &data[3], n));
}

TEST(Crc, PiecewiseEqualsWhole) {
    std::vector<unsigned char> data(100000);
    std::mt19937 rng(5);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    DWORD whole = Crc(0xFFFFFFFF, data.data(), data.size());
    DWORD running = 0xFFFFFFFF;
    for (size_t at = 0; at < data.size();) {
        size_t piece = std::min<size_t>(1 + rng() % 700, data.size() - at);
        running = Crc(running, &data[at], piece);
        at += piece;
    }
    EXPECT_EQ(running, whole);
}

TEST(Crc, ConcurrentFirstCallsAgree) {
    std::vector<unsigned char> data(5000, 0x5A);
    const DWORD expected = ReferenceCrc(0xFFFFFFFF, data.data(), data.size());
    std::vector<std::thread> threads;
    std::vector<DWORD> got(8);
    for (int t = 0; t < 8; ++t) threads.emplace_back([&, t] { got[t] = Crc(0xFFFFFFFF, data.data(), data.size()); });
    for (auto& t : threads) t.join();
    for (DWORD g : got) EXPECT_EQ(g, expected);
}

}  // namespace
