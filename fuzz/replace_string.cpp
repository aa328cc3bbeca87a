// ZAV_ReplaceString, both forms, against a plain model: occurrences left to
// right without overlaps, at most maxCount of them.
#include <vector>

#include "FuzzSupport.h"
#include "ZAVUtil1.h"

namespace {

std::u16string Model(const std::u16string& text, const std::u16string& find, const std::u16string& by,
                     DWORD maxCount, DWORD& count) {
    std::u16string out;
    count = 0;
    size_t at = 0;
    while (maxCount == 0 || count < maxCount) {
        const size_t hit = text.find(find, at);
        if (hit == std::u16string::npos) break;
        out.append(text, at, hit - at);
        out += by;
        ++count;
        at = hit + find.size();
    }
    return out + text.substr(at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::u16string find = fuzz::TakeWide(data, 6);
    const std::u16string by = fuzz::TakeWide(data, 12);
    const DWORD maxCount = data.ConsumeBool() ? 0 : data.ConsumeIntegralInRange<DWORD>(0, 20);
    const bool nullReplacement = by.empty() && data.ConsumeBool();
    const DWORD bufferLength = data.ConsumeIntegralInRange<DWORD>(0, 1200);
    const std::u16string original = fuzz::TakeWide(data, 400);
    const WCHAR* replacement = nullReplacement ? nullptr : by.c_str();

    ZAVString text(original.c_str());
    DWORD count = 12345;
    const DWORD result = ZAV_ReplaceString(text, find.c_str(), replacement, &count, 0, maxCount);
    if (find.empty()) {
        FUZZ_CHECK(result == ERROR_INVALID_PARAMETER && count == 0);
        FUZZ_CHECK(std::u16string(text.c_str(), text.length()) == original);
        return 0;
    }
    DWORD expectedCount = 0;
    const std::u16string expected = Model(original, find, by, maxCount, expectedCount);
    FUZZ_CHECK(result == 0);
    FUZZ_CHECK(count == expectedCount);
    FUZZ_CHECK(std::u16string(text.c_str(), text.length()) == expected);

    std::vector<WCHAR> buffer(original.begin(), original.end());
    buffer.resize(bufferLength > original.size() + 1 ? bufferLength : original.size() + 1, 'x');
    buffer[original.size()] = 0;
    const std::vector<WCHAR> before = buffer;
    DWORD length = bufferLength > original.size() ? bufferLength : static_cast<DWORD>(original.size() + 1);
    const DWORD given = length;
    count = 12345;
    const DWORD bufferResult = ZAV_ReplaceString(buffer.data(), &length, find.c_str(), replacement, &count, 0, maxCount);
    FUZZ_CHECK(count == expectedCount);
    if (expected.size() + 1 <= given) {
        FUZZ_CHECK(bufferResult == 0);
        FUZZ_CHECK(std::u16string(buffer.data()) == expected);
    } else {
        FUZZ_CHECK(bufferResult == ERROR_NOT_ENOUGH_MEMORY);
        FUZZ_CHECK(length == expected.size() + 1);
        FUZZ_CHECK(buffer == before);
    }
    return 0;
}
