#include "MemoryFixture.h"

namespace {

// Every length around the vector paths' thresholds, at every alignment, from
// several running values (a piece of a longer run), against the byte-at-a-time
// definition, which the check value ties to the standard CRC-32.
TEST(Crc, MatchesTheByteLoopForAnyLengthAlignmentAndStart) {
    unsigned char check[] = "123456789";
    EXPECT_EQ(~ZAV_CRCCompute(0xFFFFFFFF, check, 9), 0xCBF43926u);
    EXPECT_EQ(ZAV_CRCCompute(0x12345678, nullptr, 0), 0x12345678u);
    std::mt19937 rng(99);
    std::vector<unsigned char> data(4096 + 64);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    for (size_t offset = 0; offset < 16; ++offset)
        for (DWORD n = 0; n <= 4096; n = n < 300 ? n + 1 : n * 2 + 3)
            for (DWORD start : {0u, 0xFFFFFFFFu, 0x9E3779B9u}) {
                DWORD expected = start;
                for (size_t i = 0; i < n; ++i) {
                    expected ^= data[offset + i];
                    for (int k = 0; k < 8; ++k) expected = (expected & 1) ? (expected >> 1) ^ 0xEDB88320u : expected >> 1;
                }
                ASSERT_EQ(ZAV_CRCCompute(start, &data[offset], n), expected) << "offset " << offset << " length " << n;
            }
}

}  // namespace
