// The wrap trace's ring: lines, routine pushes and pops, hex dumps and
// dumps of the ring in any order, with the ring's pointers checked after
// every step.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ZAVUtil1.h"

namespace {

std::string g_directory;

void CheckRing(const ZAVDebug& trace) {
    if (trace.m_pWrapBuf == nullptr) return;
    FUZZ_CHECK(trace.m_pWrapBuf < trace.m_pWrapLimit);
    FUZZ_CHECK(trace.m_pWrapBuf <= trace.m_pWrapOldest && trace.m_pWrapOldest <= trace.m_pWrapLimit);
    FUZZ_CHECK(trace.m_pWrapBuf <= trace.m_pWrapNext && trace.m_pWrapNext <= trace.m_pWrapLimit);
}

void EmptyDirectory() {
    DIR* dir = opendir(g_directory.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') unlink((g_directory + "/" + entry->d_name).c_str());
    closedir(dir);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/zavfuzzXXXXXX";
    g_directory = mkdtemp(pattern);
    atexit([] {
        EmptyDirectory();
        rmdir(g_directory.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string file = g_directory + "/ring";
    std::u16string name(file.begin(), file.end());
    bool dumped = false;
    {
        ZAVDebug trace;
        trace.TraceStart(&name[0], data.ConsumeIntegralInRange<DWORD>(1, 6000));
        FUZZ_CHECK(trace.TraceWrapActive() == 1);
        std::vector<LONG> levels;
        for (int step = 0; step < 64 && data.remaining_bytes() > 0; ++step) {
            const int op = data.ConsumeIntegralInRange(0, 6);
            std::u16string text = fuzz::TakeWide(data, 200);
            switch (op) {
                case 0:
                case 1: trace.InsertMsg(text.c_str()); break;
                case 2:
                    levels.push_back(trace.RoutinePush(u"Fuzz", text.c_str(), data.ConsumeBool() ? u"extra" : nullptr,
                                                       data.PickValueInArray({0, 1, -2})));
                    break;
                case 3:
                    if (levels.empty()) {
                        trace.RoutinePop(-1, data.ConsumeIntegral<LONG>());
                    } else {
                        trace.RoutinePop(levels.back(), data.ConsumeIntegral<LONG>());
                        levels.pop_back();
                    }
                    break;
                case 4: trace.HexDump(text.data(), static_cast<DWORD>(text.size() * 2), text.c_str()); break;
                case 5:
                    trace.TraceDumpWrap(data.ConsumeBool() ? &text[0] : nullptr);
                    dumped = true;
                    break;
                default: {
                    ZAVString line(text.c_str());
                    trace.InsertMsg(line);
                    break;
                }
            }
            CheckRing(trace);
        }
        if (data.ConsumeBool()) trace.TraceWrapStop();
    }
    if (dumped) EmptyDirectory();
    return 0;
}
