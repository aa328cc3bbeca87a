// ZAV_ParseDelimitedString, both forms, until the text is used up: the
// buffer form must agree with the string form, and no call may lengthen
// the text.
#include <vector>

#include "FuzzSupport.h"
#include "ZAVUtil1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const bool noDelimiters = data.ConsumeBool();
    const std::u16string delimiters = fuzz::TakeWide(data, 4);
    const int whole = data.ConsumeBool();
    const int trim = data.ConsumeBool();
    const std::u16string original = fuzz::TakeWide(data, 300);
    const WCHAR* set = noDelimiters ? nullptr : delimiters.c_str();

    ZAVString text(original.c_str());
    std::vector<WCHAR> buffer(original.begin(), original.end());
    buffer.push_back(0);
    for (int round = 0; round < 400 && !text.empty(); ++round) {
        const unsigned before = text.length();
        ZAVString token;
        ZAV_ParseDelimitedString(text, set, token, whole, trim);
        std::vector<WCHAR> bufferToken(buffer.size(), 'x');
        ZAV_ParseDelimitedString(buffer.data(), set, bufferToken.data(), whole, trim);

        FUZZ_CHECK(token.length() <= before);
        FUZZ_CHECK(text.length() <= before);
        FUZZ_CHECK(token.c_str()[token.length()] == 0 && text.c_str()[text.length()] == 0);
        FUZZ_CHECK(std::u16string(bufferToken.data()) == std::u16string(token.c_str(), token.length()));
        FUZZ_CHECK(std::u16string(buffer.data()) == std::u16string(text.c_str(), text.length()));
        if (text.length() == before) break;
    }
    return 0;
}
