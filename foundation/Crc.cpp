// CRC-32 without inversions. The result is exactly that of the byte-at-a-time
// table loop; the work is done eight bytes at a time, or by carry-less
// multiplication folding where the processor has it.
#include <string.h>

#include "CrcTables.h"
#include "ZAVFrame.h"

// Both x86 widths (the 32-bit DLL too): the CPU is asked at run time.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define ZAV_CRC_CLMUL 1
#include <immintrin.h>
#endif

namespace {

using zav::kCrcTables;

inline uint32_t Load32(const unsigned char* p) {
    uint32_t v;
    memcpy(&v, p, sizeof v);  // little-endian on every target
    return v;
}

uint32_t CrcSliced(uint32_t crc, const unsigned char* p, size_t length) {
    const auto& t = kCrcTables.t;
    for (; length >= 8; p += 8, length -= 8) {
        const uint32_t one = Load32(p) ^ crc;
        const uint32_t two = Load32(p + 4);
        crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^ t[4][one >> 24] ^
              t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^ t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
    }
    for (; length > 0; ++p, --length) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    return crc;
}

#ifdef ZAV_CRC_CLMUL
#define ZAV_CLMUL_TARGET ZAV_TARGET("pclmul,sse4.1")

ZAV_CLMUL_TARGET inline __m128i Load128(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Multiplies both halves of x by the fold constants and adds the next data.
ZAV_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i data) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), data);
}

// Folding with PCLMULQDQ after Gopal et al., "Fast CRC Computation for
// Generic Polynomials Using PCLMULQDQ" (Intel, 2009), in the bit-reflected
// domain. Takes a length of at least 64 and a multiple of 16.
ZAV_CLMUL_TARGET uint32_t CrcFolded(uint32_t crc, const unsigned char* p,
                                                            size_t length) {
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

    __m128i x1 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load128(p + 16), x3 = Load128(p + 32), x4 = Load128(p + 48);
    p += 64;
    length -= 64;
    for (; length >= 64; p += 64, length -= 64) {
        x1 = Fold(x1, k1k2, Load128(p));
        x2 = Fold(x2, k1k2, Load128(p + 16));
        x3 = Fold(x3, k1k2, Load128(p + 32));
        x4 = Fold(x4, k1k2, Load128(p + 48));
    }
    x1 = Fold(x1, k3k4, x2);
    x1 = Fold(x1, k3k4, x3);
    x1 = Fold(x1, k3k4, x4);
    for (; length >= 16; p += 16, length -= 16) x1 = Fold(x1, k3k4, Load128(p));

    // 128 -> 64 bits.
    __m128i x2b = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2b);
    // 64 -> 32 bits.
    x2b = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, low32);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k5, 0x00), x2b);
    // Barrett reduction.
    x2b = _mm_and_si128(x1, low32);
    x2b = _mm_clmulepi64_si128(x2b, poly, 0x10);
    x2b = _mm_and_si128(x2b, low32);
    x2b = _mm_clmulepi64_si128(x2b, poly, 0x00);
    x1 = _mm_xor_si128(x1, x2b);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool HaveClmul() {
    static const bool have = zav::CpuHasClmul();
    return have;
}
#endif

}  // namespace

DWORD ZAV_CRCCompute(DWORD crc, unsigned char* const buffer, DWORD length) {
    const unsigned char* p = buffer;
    size_t n = length;
    uint32_t c = crc;
#ifdef ZAV_CRC_CLMUL
    if (n >= 64 && HaveClmul()) {
        size_t folded = n & ~static_cast<size_t>(15);
        c = CrcFolded(c, p, folded);
        p += folded;
        n -= folded;
    }
#endif
    return CrcSliced(c, p, n);
}
