// A host in the manner of the product family's services: it defines the
// memory manager with its diagnostic aids, traces its routines to a trace
// file named after the program, keeps work items on a locked list, reports
// messages to the event log, and keeps a wrap trace that it dumps on demand.
#include <stdio.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

// Written against the Win32 names (DWORD, CRITICAL_SECTION, ...) as the
// family's hosts are: on Linux the library brings them into the global
// namespace on request; on Windows they are the system's.
#define ZAVUTIL1_WIN32_NAMES
#include <ZAVUtil1/ZAVUtil1.h>
#ifndef _WIN32
#include <ZAVUtil1/ZAVEventOutlet.h>
#endif

namespace {

struct WorkItem {
    ZAVLink link;  // first member, as the list functions require
    unsigned id;
    DWORD length;
    unsigned char* payload;
};

CRITICAL_SECTION gQueueLock;
ZAVLinkAnchor gQueue;

WorkItem* NewItem(unsigned id, DWORD length) {
    auto* item = static_cast<WorkItem*>(ZAV_MemoryGet(sizeof(WorkItem), ZAVMemOptZeroFill));
    if (item == nullptr) return nullptr;
    item->id = id;
    item->length = length;
    item->payload = static_cast<unsigned char*>(ZAV_MemoryGet(length, 0));
    for (DWORD i = 0; i < length; ++i) item->payload[i] = static_cast<unsigned char>(id * 31 + i);
    return item;
}

DWORD Consume(DWORD* crcOut) {
    const LONG level = gptrCDebug->RoutinePush(ZAV_TEXT("Demo"), ZAV_TEXT("Consume"), nullptr, 1);
    DWORD done = 0, crc = 0xFFFFFFFF;
    while (ZAVLink* link = ZAV_LinkPopFirst(&gQueue)) {
        auto* item = reinterpret_cast<WorkItem*>(link);
        crc = ZAV_CRCCompute(crc, item->payload, item->length);
        ZAV_MemoryFree(item->payload);
        ZAV_MemoryFree(item);
        ++done;
    }
    *crcOut = ~crc;
    gptrCDebug->RoutinePop(level, static_cast<LONG>(done));
    return done;
}

// A message with its insertions, made under the active routine and logged.
void Report(DWORD items, DWORD crc) {
    ZAVLinkAnchor messages = {};
    ZAVMsg* msg = ZAV_MsgCreate(&messages, 1001, ZAVCatInfo10, 0, 0, 0, 0, gptrCDebug);
    ZAV_MsgAddInsertion(msg, static_cast<LONG>(items), 10);
    ZAV_MsgAddInsertion(msg, static_cast<LONG>(crc), 16);
    ZAVString text(ZAV_TEXT("Report from "));
    text += msg->pRoutine != nullptr ? msg->pRoutine : ZAV_TEXT("(no routine)");
    gptrCDebug->InsertMsg(text);
    while (ZAVLink* link = ZAV_LinkPopFirst(&messages)) {
        ZAVMsg* taken = reinterpret_cast<ZAVMsg*>(link);
        ZAV_LogEvent(*taken, ZAV_TEXT("Demo host consumed %1 work items, CRC-32 %2."), ZAV_TEXT("ZAVDemoHost"));
        ZAV_MsgDestroy(nullptr, taken);
    }
}

// Where the event went: on Linux the first log daemon that listened, else the text log.
void TellWhereTheEventWent() {
#ifdef _WIN32
    printf("event: the Windows event log, source ZAVDemoHost\n");
#else
    char where[4096];
    BOOL taken = 0;
    const char* outlet = "nowhere";
    switch (ZAVPlatform_LastEventReport(where, sizeof where, &taken)) {
        case ZAVEventOutletJournal: outlet = "the systemd journal"; break;
        case ZAVEventOutletSyslog: outlet = "the syslog socket"; break;
        case ZAVEventOutletTextLog: outlet = "the text log"; break;
        case ZAVEventOutletNone: where[0] = 0; break;
    }
    printf("event: %s %s%s\n", outlet, where, taken ? "" : " (not taken: the entry was lost)");
#endif
}

// ZAV_TestFileExists's answer for a name no file has (ERROR_FILE_NOT_FOUND).
const DWORD kFileNotFound = 2;

// The name the trace will take: it never reuses an existing file.
ZAVString FirstFreeTraceName() {
    ZAVString rest(zav::win::GetCommandLineW()), program;
    ZAV_ParseDelimitedString(rest, ZAV_TEXT(" "), program, 0, 1);
    if (ZAV_MatchCaseless(program.Right(4), ZAV_TEXT(".exe"))) program.erase(program.length() - 4);
    ZAVString name(program);
    name += ZAV_TEXT(".log");
    for (unsigned n = 1; ZAV_TestFileExists(name) != kFileNotFound; ++n) {
        name = program;
        name += std::to_string(n).c_str();
        name += ZAV_TEXT(".log");
    }
    return name;
}

// A second trace object that keeps only recent lines until asked for them.
void WrapTraceDemo(const ZAVString& mainFile) {
    ZAVString name(mainFile);
    name.erase(name.length() - 4);  // without ".log"
    name += ZAV_TEXT("-wrap");
    ZAVDebug wrap;
    wrap.TraceStart(const_cast<WCHAR*>(name.c_str()), 2048);
    for (int i = 0; i < 60; ++i) {
        ZAVString line(ZAV_TEXT("wrap line "));
        line.append(1, static_cast<WCHAR>(ZAV_TEXT('A') + i % 26));
        wrap.InsertMsg(line);
    }
    WCHAR title[] = ZAV_TEXT("Recent lines of the wrap trace");
    wrap.TraceDumpWrap(title);
}

DWORD LiveRecords() {
    DWORD live = 0;
    for (ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext)
        for (const ZAV_MemCtlEntry& e : b->Entries) live += e.Address != nullptr;
    return live;
}

}  // namespace

int main() {
    printf("ZAVUtil1 check value %d, platform NT=%d XP=%d\n", fnZAVUtil1(), ZAV_IsWinNT(), ZAV_IsWinXP());

    ZAV_MonitorMemory = 1;
    DWORD rc = ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptGuard | ZAVMemOptLowFragHeap);
    if (rc != 0) {
        fprintf(stderr, "memory manager definition failed: %u\n", static_cast<unsigned>(rc));
        return 1;
    }
    zav::win::InitializeCriticalSection(&gQueueLock);
    ZAV_LinkInitAnchor(&gQueue, &gQueueLock);

    // Every string lives in the private heap, so all of them end before it does.
    {
        // The trace takes the first free name of program.log, program1.log, ...
        const ZAVString traceFile = FirstFreeTraceName();
        gptrCDebug = new ZAVDebug;
        gptrCDebug->TraceStart();
        const LONG mainLevel = gptrCDebug->RoutinePush(ZAV_TEXT("Demo"), ZAV_TEXT("main"), nullptr, 1);
        gptrCDebug->InsertMsg(ZAV_TEXT("memory manager defined: private heap, guards, monitoring"));

        const ZAVUInt64 start = ZAV_TimerValue();
        std::vector<std::thread> producers;
        for (unsigned t = 0; t < 4; ++t)
            producers.emplace_back([t] {
                for (unsigned i = 0; i < 250; ++i)
                    if (WorkItem* item = NewItem(t * 1000 + i, 64 + (i * 37) % 4000)) ZAV_LinkToTail(&gQueue, &item->link);
            });
        for (auto& p : producers) p.join();
        printf("queued %u items; %u blocks live, %llu bytes held by the private heap\n",
               static_cast<unsigned>(gQueue.Count), static_cast<unsigned>(LiveRecords()),
               static_cast<unsigned long long>(ZAV_PoolMemBusy));

        ZAVString stack(ZAV_TEXT("call stack: "));
        stack += gptrCDebug->ShowCallStack();
        gptrCDebug->InsertMsg(stack);
        DWORD crc = 0;
        DWORD done = Consume(&crc);
        Report(done, crc);
        TellWhereTheEventWent();
        const ZAVUInt64 elapsed = ZAV_TimerValue() - start;
        printf("consumed %u items in %llu us, CRC-32 of all payloads in queue order 0x%08X\n",
               static_cast<unsigned>(done), static_cast<unsigned long long>(elapsed), static_cast<unsigned>(crc));

        // A damaged block is caught when it is returned.
        auto* probe = static_cast<unsigned char*>(ZAV_MemoryGet(10, 0));
        probe[10] = 0;
        try {
            ZAV_MemoryFree(probe);
            printf("guard damage went unnoticed\n");
        } catch (LONG code) {
            printf("guard damage caught: code %d\n", static_cast<int>(code));
        }

        printf("after the run: %u blocks live, %llu bytes held; compaction reports %u free bytes\n",
               static_cast<unsigned>(LiveRecords()), static_cast<unsigned long long>(ZAV_PoolMemBusy),
               static_cast<unsigned>(ZAV_MemoryCompact(0, 0)));
        const ZAVString logon = ZAV_GetLogonId(), computer = ZAV_GetComputerName();
        ZAVString who(ZAV_TEXT("user "));
        who += logon;
        who += ZAV_TEXT(" on ");
        who += computer;
        gptrCDebug->InsertMsg(who);
        // Memory as the trace shows it: a block's bytes, the private heap, the address space.
        gptrCDebug->HexDump(who.c_str(), 2 * who.length(), ZAV_TEXT("The report line's UTF-16 bytes"));
        gptrCDebug->TraceHeap(hZAVHeap, 0x1, 32, -1);
        gptrCDebug->TraceVirtualMemUsage(1);
        gptrCDebug->RoutinePop(mainLevel, 0);
        WrapTraceDemo(traceFile);
        delete gptrCDebug;  // writes "Trace Closed."
        gptrCDebug = nullptr;
        ZAVString shown(traceFile);
        printf("trace file: %s\n", shown.ANSIString());
    }
    ZAV_MemoryPoolFree();
    zav::win::DeleteCriticalSection(&gQueueLock);
    return 0;
}
