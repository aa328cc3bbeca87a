// A host whose process holds another Win32 layer ahead of the library
// (Impostor.cpp, preloaded): its trace is named after the program, its
// event reaches the system log and its memory manager works.
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include <ZAVUtil1/ZAVUtil1.h>
#include <ZAVUtil1/ZAVEventOutlet.h>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    // Without the impostor in place the test would prove nothing.
    auto impostorLine = reinterpret_cast<char16_t* (*)()>(dlsym(RTLD_DEFAULT, "GetCommandLineW"));
    if (impostorLine == nullptr || std::u16string(impostorLine()) != u"impostor.exe") {
        fprintf(stderr, "the impostor is not preloaded\n");
        return 1;
    }

    Check(ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptGuard) == 0, "the private heap is defined");
    void* block = ZAV_MemoryGet(100, ZAVMemOptZeroFill);
    Check(block != nullptr, "a block from the private heap");
    if (block != nullptr) {
        memset(block, 0x5A, 100);
        Check(ZAV_MemoryFree(block) == 0, "the block goes back");
    }

    // Named after the program, beside it (started by its full path).
    const std::string trace = std::string(argv[0]) + ".log";
    remove(trace.c_str());
    remove("impostor.log");
    ZAVDebug debug;
    gptrCDebug = &debug;
    debug.TraceStart();
    Check(debug.TraceActive() == 1, "the trace is open");
    debug.InsertMsg(ZAV_TEXT("interposed host line"));
    debug.TraceStop(1);
    Check(ReadFile(trace).find("interposed host line") != std::string::npos, "the trace file named after the program");
    Check(access("impostor.log", F_OK) != 0, "no trace named after the impostor's command line");
    remove(trace.c_str());

    ZAV_LogEvent(ZAVCatInfo6, ZAV_TEXT("interposed host event"), 1, ZAV_TEXT("ZAVInterposedHost"));
    char where[512];
    zav::win::BOOL taken = 0;
    Check(ZAVPlatform_LastEventReport(where, sizeof where, &taken) != ZAVEventOutletNone, "the event was reported");
    Check(taken != 0, "the event log took the event");

    gptrCDebug = nullptr;
    (void)argc;
    return failures == 0 ? 0 : 1;
}
