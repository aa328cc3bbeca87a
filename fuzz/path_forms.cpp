// The path forms: UNC and long-path translations (the path itself on
// POSIX), the directory of a path, and the existence tests.
#include "FuzzSupport.h"
#include "ZAVUtil1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const int flag = data.ConsumeIntegralInRange(0, 2);
    const std::u16string text = fuzz::TakeWide(data, 260);
    const ZAVString path(text.c_str());

    const ZAVString unc = ZAV_GetUNCPath(path);
    FUZZ_CHECK(unc.compare(path) == 0);
    const ZAVString internal = ZAV_InternalPath(path);
    FUZZ_CHECK(internal.compare(path) == 0);

    ZAVString trimmed(path);
    trimmed.Trim();
    ZAVString directory(u"previous");
    FUZZ_CHECK(ZAV_GetDirFromPath(path, directory, flag) == 0);
    FUZZ_CHECK(directory.length() <= trimmed.length());
    FUZZ_CHECK(trimmed.compare(0, directory.length(), directory) == 0);
    FUZZ_CHECK(directory.c_str()[directory.length()] == 0);

    ZAV_TestFileExists(path);
    ZAV_TestDirExists(path);
    return 0;
}
