// CRC-32 tables (reflected polynomial 0xEDB88320), fixed at build time so no
// first call has to build them. Table 0 is the classic byte table; table k
// advances a byte that stands k positions before the end of an 8-byte word.
#pragma once

#include <stdint.h>

namespace zav {

struct CrcTables {
    uint32_t t[8][256];
};

constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        tables.t[0][i] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t prev = tables.t[k - 1][i];
            tables.t[k][i] = (prev >> 8) ^ tables.t[0][prev & 0xFF];
        }
    return tables;
}

inline constexpr CrcTables kCrcTables = MakeCrcTables();

static_assert(kCrcTables.t[0][1] == 0x77073096u, "table entry 1");
static_assert(kCrcTables.t[0][128] == 0xEDB88320u, "table entry 128");
static_assert(kCrcTables.t[0][255] == 0x2D02EF8Du, "table entry 255");

}  // namespace zav
