// The CRC's byte-at-a-time definition, for the CRC tests to compare with.
#pragma once

#include <stddef.h>

#include "ZAVUtil1.h"

// The byte-at-a-time definition, with the table built as the first call would.
inline DWORD ReferenceCrc(DWORD crc, const unsigned char* p, size_t n) {
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
