// Shared by the fuzz targets: checks that abort (a finding for libFuzzer)
// and text taken from the input.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <fuzzer/FuzzedDataProvider.h>
#include <string>

#define FUZZ_CHECK(condition)                                                               \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            fprintf(stderr, "check failed: %s at %s:%d\n", #condition, __FILE__, __LINE__); \
            abort();                                                                        \
        }                                                                                   \
    } while (0)

namespace fuzz {

// Wide text of up to maxUnits units: each byte is a unit, except that 0xFF
// takes the next two bytes as one (so any unit can occur, ASCII most often).
// Without zeros unless allowed, since most interfaces take terminated text.
inline std::u16string TakeWide(FuzzedDataProvider& data, size_t maxUnits, bool zeros = false) {
    const std::string bytes = data.ConsumeRandomLengthString(maxUnits * 3);
    std::u16string text;
    for (size_t i = 0; i < bytes.size() && text.size() < maxUnits; ++i) {
        char16_t unit = static_cast<unsigned char>(bytes[i]);
        if (unit == 0xFF && i + 2 < bytes.size()) {
            unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                         static_cast<unsigned char>(bytes[i + 2]));
            i += 2;
        }
        if (unit == 0 && !zeros) unit = '0';
        text += unit;
    }
    return text;
}

// A count or position: mostly small, sometimes at or past the ends of the
// 32-bit range.
inline unsigned TakeCount(FuzzedDataProvider& data, unsigned small) {
    switch (data.ConsumeIntegralInRange(0, 7)) {
        case 0: return 0xFFFFFFFFu;
        case 1: return data.ConsumeIntegral<unsigned>();
        default: return data.ConsumeIntegralInRange<unsigned>(0, small);
    }
}

}  // namespace fuzz
