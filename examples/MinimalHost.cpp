// The smallest host: the memory manager with guard words, a trace named
// after the program with one routine, and a string edited on the way.
#include <ZAVUtil1/ZAVUtil1.h>

int main() {
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard);
    ZAVDebug trace;
    trace.TraceStart();  // the trace file appears beside the program
    const zav::win::LONG level = trace.RoutinePush(ZAV_TEXT("Host"), ZAV_TEXT("main"), nullptr, 1);
    ZAVString text(ZAV_TEXT("  hello  "));
    text.Trim();
    text.UCase();
    trace.InsertMsg(text);  // "HELLO", indented under main's Push line
    trace.RoutinePop(level, 0);
    return 0;
}
