// The trace object's life and its trace file: naming, creation with the
// next free number, the header line, closing.
#include <stdio.h>
#include <string.h>

#include "DebugLevels.h"
#include "MemoryBlock.h"
#include "ProgramPaths.h"
#include "TraceInternals.h"
#include "ZAVFrame.h"
#include "ZAVIdentity.h"
#include "ZAVMemory.h"

namespace {

// TraceStop must not re-enter itself through the roll-over its closing line
// may set off. That can only happen on the thread that is stopping, so the
// guard is the thread's: threads stopping their own traces never meet here.
thread_local bool tTraceStopBusy = false;

const char kDevelopmentHost[] = ZAV_PATH_SEP "vb6";

const DWORD kCreateFlagsOverlapped = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED;

HANDLE CreateTraceFile(const ZAVString& name) {
    if (ZAV_IsWinNT())
        return CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, kCreateFlagsOverlapped,
                           nullptr);
    HANDLE file;
    DWORD error;
    {
        const size_t bytes = 2 * static_cast<size_t>(name.length()) + 2;
        const zav::MemoryBlock<char> ansi(bytes);
        ansi.get()[zav::WideToAnsi(name.c_str(), name.length(), ansi.get(), bytes - 1)] = 0;
        file = CreateFileA(ansi.get(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        error = GetLastError();
    }
    SetLastError(error);  // the block's return may have changed it
    return file;
}

// The file name without ".log": a name with a folder stands alone; a bare
// name goes beside the program; none names the trace after the program.
ZAVString TraceBaseName(ZAVString given) {
    ZAVString base;
    if (given.find(zav::kPathSeparator) != ZAVString::npos) {
        base = given;
        given.erase();
    } else {
        base = zav::ProgramPath();
    }
    if (zav::EndsWithCaseless(base, ".log") || zav::EndsWithCaseless(base, ".exe")) base.erase(base.length() - 4);
    if (zav::EndsWithCaseless(base, kDevelopmentHost) && zav::DevelopmentTreePresent())
        base = zav::InDevelopmentTree("ZAVAgent");
    if (!given.empty()) {
        const unsigned slash = base.rfind(zav::kPathSeparator);
        if (slash != ZAVString::npos) {
            base.erase(slash + 1);
            base += given;
        }
    }
    return base;
}

}  // namespace

namespace zav {
thread_local bool tOpeningTraceFile = false;
}

ZAVDebug::ZAVDebug() { ZAVDebugInternals::Initialise(*this); }

ZAVDebug::ZAVDebug(const ZAVDebug&) { ZAVDebugInternals::Initialise(*this); }

ZAVDebug& ZAVDebug::operator=(const ZAVDebug&) { return *this; }

void ZAVDebugInternals::Initialise(ZAVDebug& t) {
    t.m_RoutineLevel = -1;
    t.m_hTraceFile = nullptr;
    memset(&t.m_Overlapped, 0, sizeof t.m_Overlapped);
    t.m_pRoutineNames = zav::NewLevels<ZAVString*>(zav::kFirstLevels, nullptr);
    t.m_pRoutineTraceOn = zav::NewLevels<bool>(zav::kFirstLevels, true);
    t.m_pRoutineStart = zav::NewLevels<ZAVUInt64>(zav::kFirstLevels, 0);
    t.m_pWrapBuf = t.m_pWrapLimit = t.m_pWrapOldest = t.m_pWrapNext = nullptr;
    memset(t.m_LastDate, 0, sizeof t.m_LastDate);
    t.m_WritePending = 0;
    t.m_MemChangeThreshold = 1024;
    t.m_LastMsgTime = ZAV_TimerValue();
    t.m_BytesWritten = 0;
    t.m_MaxLogSize = 104857600;
    t.m_LastPoolBusy = 0;
    memset(&t.m_LastMemCounters, 0, sizeof t.m_LastMemCounters);
    t.m_pfnGetProcessMemoryInfo = nullptr;
    t.m_hPsapi = nullptr;
    t.m_hProcess = nullptr;
}

ZAVDebug::~ZAVDebug() noexcept {
    if (m_pWrapBuf != nullptr) ZAV_MemoryFreePtr(&m_pWrapBuf);
    if (m_hTraceFile != nullptr) TraceStop(1);
    for (unsigned i = 0; i < m_pRoutineNames->Size; ++i) delete m_pRoutineNames->Items[i];
    zav::DeleteLevels(m_pRoutineNames);
    zav::DeleteLevels(m_pRoutineTraceOn);
    zav::DeleteLevels(m_pRoutineStart);
    if (m_hProcess != nullptr) CloseHandle(m_hProcess);
    if (m_hPsapi != nullptr) FreeLibrary(m_hPsapi);
}

void ZAVDebug::TraceStart() {
    if (m_pWrapBuf != nullptr || m_hTraceFile != nullptr) return;
    m_TraceFileName.erase();
    TraceStartOpen();
}

void ZAVDebug::TraceStart(WCHAR* name, DWORD wrapSize) {
    if (m_pWrapBuf != nullptr || m_hTraceFile != nullptr) return;
    try {
        m_TraceFileName = name;
    } catch (...) {
        return;  // no memory for the name: the trace stays inactive
    }
    if (wrapSize == 0) {
        TraceStartOpen();
        return;
    }
    if (wrapSize < 1024) wrapSize = 1024;
    unsigned char* ring = static_cast<unsigned char*>(ZAV_MemoryGet(wrapSize, 0));
    if (ring == nullptr) return;  // no memory for the ring: the trace stays inactive
    m_pWrapBuf = m_pWrapOldest = m_pWrapNext = ring;
    m_pWrapLimit = ring + wrapSize - 4;
    zav::StoreLength(ring, 0);
}

int ZAVDebug::TraceActive() { return m_hTraceFile != nullptr ? 1 : 0; }

void ZAVDebug::MaxLogSize(DWORD limit) { m_MaxLogSize = limit; }

void ZAVDebug::TraceStop(int closingLine) {
    if (m_hTraceFile == nullptr || tTraceStopBusy) return;
    tTraceStopBusy = true;
    m_BytesWritten = 0;
    if (closingLine != 0) {
        m_MemChangeThreshold = 0;
        InsertMsg(ZAV_TEXT("Trace Closed."));
    }
    InsertMsgWait();
    if (m_Overlapped.hEvent != nullptr) CloseHandle(m_Overlapped.hEvent);
    if (m_hTraceFile != nullptr && m_hTraceFile != INVALID_HANDLE_VALUE) CloseHandle(m_hTraceFile);
    m_Overlapped.hEvent = nullptr;
    m_hTraceFile = nullptr;
    tTraceStopBusy = false;
}

void ZAVDebug::TraceStartOpen() {
    if (m_hTraceFile != nullptr) return;
    try {
        const ZAVString base = TraceBaseName(m_TraceFileName);
        ZAVString name(base);
        name += ZAV_TEXT(".log");
        m_MemChangeThreshold = 1024;
        if (!ZAVDebugInternals::CreateNumberedFile(*this, base, name)) return;
        ZAVDebugInternals::BeginFile(*this);
        ZAVDebugInternals::HeaderLine(*this, name);
    } catch (...) {
        zav::tOpeningTraceFile = false;
        TraceStop(1);
        if (m_hTraceFile == INVALID_HANDLE_VALUE) m_hTraceFile = nullptr;
    }
}

// An existing trace file is never reused: base.log, base1.log, base2.log, ...
// until one can be created new. A folder that refuses the file for lack of
// permission hands the series to the user's state folder, where it starts
// again; any other error leaves the trace inactive and is reported.
bool ZAVDebugInternals::CreateNumberedFile(ZAVDebug& t, const ZAVString& base, ZAVString& name) {
    ZAVString series(base);
    bool moved = false;
    for (unsigned counter = 0;;) {
        t.m_hTraceFile = CreateTraceFile(name);
        if (t.m_hTraceFile != INVALID_HANDLE_VALUE) return true;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            t.m_hTraceFile = nullptr;
            const ZAVString home = moved ? ZAVString() : zav::RefusedFileHome(series, error);
            if (home.empty()) {
                zav::ReportUnopenedFile(name, error);
                return false;
            }
            moved = true;
            series = home;
            counter = 0;
            name = series;
            name += ".log";
            continue;
        }
        char number[16];
        snprintf(number, sizeof number, "%u", ++counter);
        name = series;
        name += number;
        name += ".log";
    }
}

void ZAVDebugInternals::BeginFile(ZAVDebug& t) {
    if (ZAV_IsWinNT()) t.m_Overlapped.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    t.m_BytesWritten = 0;
    memset(t.m_LastDate, 0, sizeof t.m_LastDate);
    t.m_Overlapped.Offset = t.m_Overlapped.OffsetHigh = 0;
}

void ZAVDebugInternals::HeaderLine(ZAVDebug& t, const ZAVString& name) {
    char ids[64];
    snprintf(ids, sizeof ids, ", ProcessId=%d, ThreadId=%d, Log File=", static_cast<int>(GetCurrentProcessId()),
             static_cast<int>(GetCurrentThreadId()));
    ZAVString header(ZAV_TEXT("Trace Started. UserId="));
    header += ZAV_GetLogonId();
    header += ids;
    header += name;
    // The opening lines never roll the new file over, however small the limit.
    zav::tOpeningTraceFile = true;
    t.InsertMsg(header);
    zav::tOpeningTraceFile = false;
}
