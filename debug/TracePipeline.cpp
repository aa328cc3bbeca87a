// Composing trace lines and writing them: date, memory and message lines,
// overlapped writes at the tracked position, the size roll-over.
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include "TraceInternals.h"
#include "ZAVEventLog.h"
#include "ZAVFrame.h"
#include "ZAVMemory.h"

namespace {

const char kTooLarge[] = "**** Trace terminated because it is too large. ****";
constexpr unsigned kTooLargeLength = sizeof kTooLarge - 1;
constexpr unsigned kClockLength = 8;  // "HH:MM:SS"
const char kRollOver[] = "--Trace closed and re-opened due to trace size.\r\n";
const DWORD kWriteWaitMilliseconds = 5000;
const DWORD kFailureReportChars = 512;

// " %#8.3f" of the elapsed milliseconds with the blanks around it. Whole
// microseconds have an exact three-decimal form, so integer arithmetic
// gives the same text as printf of micros * 0.001.
// The elapsed-time field: two blanks, the microseconds as milliseconds with
// three decimals, right-aligned in 8 characters (wider when it needs more),
// and a blank. Answers its length; out needs 48 characters.
unsigned ElapsedField(int64_t micros, WCHAR* out) {
    const bool negative = micros < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(micros) : static_cast<uint64_t>(micros);
    char digits[32];
    size_t n = 0;
    for (int i = 0; i < 3; ++i, magnitude /= 10) digits[n++] = static_cast<char>('0' + magnitude % 10);
    digits[n++] = '.';
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) digits[n++] = '-';
    unsigned at = 0;
    out[at++] = ' ';
    out[at++] = ' ';
    for (size_t pad = n; pad < 8; ++pad) out[at++] = ' ';
    while (n != 0) out[at++] = digits[--n];
    out[at++] = ' ';
    return at;
}

// A line that could not be written is reported to the event log instead,
// with the step it was lost at and as much of its text as fits.
void ReportLostLine(zav::TraceLineStep step, const WCHAR* text, unsigned length) {
    try {
        char prefix[64];
        snprintf(prefix, sizeof prefix, "ZAVDebug.InsertMsg PgmChkLoc=%d, Original Text=\"", static_cast<int>(step));
        ZAVString report(prefix);
        const char* suffix = zav::LoadRelaxed(ZAV_MonitorMemory) != 0 ? "\", memory trace used" : "\"";
        // Cut the caller's text so that the report fits its 512 characters.
        const unsigned room = kFailureReportChars - 1 - report.length() - static_cast<unsigned>(strlen(suffix));
        report.append(text, length < room ? length : room);
        report += suffix;
        ZAV_LogEvent(ZAVCatInfo6, report.c_str(), 1, nullptr);
    } catch (...) {
    }
}

}  // namespace

void ZAVDebugInternals::OutputLine(ZAVDebug& t) {
    if (t.m_hTraceFile != nullptr) {
        t.InsertMsgWrite();
        t.InsertMsgWait();
    } else {
        t.TraceWrapNewline();
    }
}

void ZAVDebug::InsertMsg(ZAVString& text) { InsertMsg(text.c_str()); }

void ZAVDebugInternals::MemoryLine(ZAVDebug& t, ZAVUInt64 pool, zav::TraceLineStep& step) {
    const int64_t poolChange = static_cast<int64_t>(pool - t.m_LastPoolBusy);
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof counters);
    if (ZAV_IsWinNT() && t.m_pfnGetProcessMemoryInfo == nullptr) {
        if (t.m_hProcess == nullptr) t.m_hProcess = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
        if (t.m_hProcess != nullptr) {
            if (t.m_hPsapi == nullptr) t.m_hPsapi = LoadLibraryW(ZAV_TEXT("psapi.dll"));
            if (t.m_hPsapi != nullptr)
                t.m_pfnGetProcessMemoryInfo = reinterpret_cast<decltype(t.m_pfnGetProcessMemoryInfo)>(
                    reinterpret_cast<void (*)()>(GetProcAddress(t.m_hPsapi, "GetProcessMemoryInfo")));
        }
    }
    if (t.m_pfnGetProcessMemoryInfo != nullptr &&
        !t.m_pfnGetProcessMemoryInfo(t.m_hProcess, &counters, sizeof counters))
        memset(&counters, 0, sizeof counters);
    step = zav::kStepMemoryLine;
    // The counter is as wide as an address: signed 32 bits on the 32-bit
    // platform, the full value on 64-bit builds.
    const int64_t pagefile = static_cast<intptr_t>(counters.PagefileUsage);
    const int64_t counterChange = static_cast<intptr_t>(counters.PagefileUsage - t.m_LastMemCounters.PagefileUsage);
    const int32_t lowChange = static_cast<int32_t>(static_cast<uint32_t>(poolChange));
    const uint32_t magnitude = lowChange < 0 ? 0u - static_cast<uint32_t>(lowChange) : static_cast<uint32_t>(lowChange);
    if (magnitude < t.m_MemChangeThreshold && counterChange == 0) return;
    char values[256];
    snprintf(values, sizeof values, "%" PRId64 ", %" PRId64 ". Process Bytes Allocated=%" PRId64 ", %" PRId64 "\r\n",
             static_cast<int64_t>(pool), poolChange, pagefile, counterChange);
    t.m_MsgLine = ZAV_TEXT("...Memory use changed. Internal Pool=");
    t.m_MsgLine += values;
    OutputLine(t);
    t.m_LastPoolBusy = pool;
    t.m_LastMemCounters = counters;
}

void ZAVDebug::InsertMsg(const WCHAR* text) {
    if (m_hTraceFile == nullptr && m_pWrapBuf == nullptr) return;
    const ZAVUInt64 pool = zav::LoadRelaxed(ZAV_PoolMemBusy);
    const unsigned length = static_cast<unsigned>(lstrlenW(text));
    const unsigned indent = 4 * static_cast<unsigned>(m_RoutineLevel + 1);
    const ZAVUInt64 now = ZAV_TimerValue();
    const int64_t elapsedMicros = static_cast<int64_t>(now - m_LastMsgTime);
    m_LastMsgTime = now;

    zav::TraceLineStep step = zav::kStepWaitAndDate;
    try {
        if (m_hTraceFile != nullptr) InsertMsgWait();
        ZAVDebugInternals::DateLine(*this);
        if (zav::LoadRelaxed(ZAV_MonitorMemory) != 0) {
            step = zav::kStepMemoryQuery;
            ZAVDebugInternals::MemoryLine(*this, pool, step);
        }
        step = zav::kStepLinePrefix;
        // Room for the message or, past the size limit, the notice in its place.
        ZAVDebugInternals::LinePrefix(*this, indent + (length > kTooLargeLength ? length : kTooLargeLength),
                                      elapsedMicros);
        step = zav::kStepLineText;
        ZAVDebugInternals::LineText(*this, indent, text, length);
    } catch (...) {
        ReportLostLine(step, text, length);
    }
    ZAVDebugInternals::RollOver(*this);
}

void ZAVDebugInternals::DateLine(ZAVDebug& t) {
    WCHAR date[12] = {};
    _wstrdate(date);
    if (memcmp(date, t.m_LastDate, sizeof date) == 0) return;
    t.m_MsgLine = ZAV_TEXT("Date=");
    t.m_MsgLine += date;
    t.m_MsgLine.append(80, '=');
    t.m_MsgLine += ZAV_TEXT("\r\n");
    OutputLine(t);
    // Only now: a date line lost with its message comes before the next one.
    memcpy(t.m_LastDate, date, sizeof date);
}

// The line is written in place into the line buffer, whose room for all of
// it is made first: every line would otherwise pass through the string's
// general editing five times.
void ZAVDebugInternals::LinePrefix(ZAVDebug& t, unsigned indentAndText, int64_t elapsedMicros) {
    WCHAR field[48];
    const unsigned fieldLength = ElapsedField(elapsedMicros, field);
    const unsigned room = kClockLength + fieldLength + indentAndText + 2;
    if (room > t.m_MsgLine.capacity()) t.m_MsgLine.reserve(room);
    WCHAR* line = t.m_MsgLine.begin();
    WCHAR clock[9];
    _wstrtime(clock);
    memcpy(line, clock, kClockLength * sizeof(WCHAR));
    memcpy(line + kClockLength, field, fieldLength * sizeof(WCHAR));
    line[kClockLength + fieldLength] = 0;
    t.m_MsgLine.SetSize(kClockLength + fieldLength);
}

// Room for the indentation, the longer of the message and the size notice,
// and the line end is there, made by LinePrefix.
void ZAVDebugInternals::LineText(ZAVDebug& t, unsigned indent, const WCHAR* text, unsigned length) {
    WCHAR* const line = t.m_MsgLine.begin();
    WCHAR* at = line + t.m_MsgLine.size();
    for (unsigned i = 0; i < indent; ++i) *at++ = ' ';
    if (t.m_BytesWritten > t.m_MaxLogSize) {
        for (unsigned i = 0; i < kTooLargeLength; ++i) *at++ = static_cast<unsigned char>(kTooLarge[i]);
    } else {
        memcpy(at, text, length * sizeof(WCHAR));
        at += length;
    }
    *at++ = '\r';
    *at++ = '\n';
    *at = 0;
    t.m_MsgLine.SetSize(static_cast<unsigned>(at - line));
    if (t.m_hTraceFile != nullptr)
        t.InsertMsgWrite();
    else
        t.TraceWrapNewline();
}

void ZAVDebugInternals::RollOver(ZAVDebug& t) {
    if (zav::tOpeningTraceFile) return;
    try {
        if (t.m_BytesWritten <= t.m_MaxLogSize || t.m_hTraceFile == nullptr) return;
        t.InsertMsgWait();
        t.m_MsgLine = kRollOver;
        t.InsertMsgWrite();
        t.InsertMsgWait();
        t.TraceStop(0);
        t.TraceStartOpen();
    } catch (...) {
    }
}

// A line that failed part way (a full disk, a size limit) is cut off again,
// so that the file ends with the last whole line and the next line is not
// glued to a torn one.
void ZAVDebugInternals::CutFileAt(ZAVDebug& t, ZAVUInt64 position) {
    LONG high = static_cast<LONG>(position >> 32);
    if (SetFilePointer(t.m_hTraceFile, static_cast<LONG>(position), &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
        GetLastError() == NO_ERROR)
        SetEndOfFile(t.m_hTraceFile);
}

int ZAVDebug::InsertMsgWrite() {
    if (m_hTraceFile == nullptr) return 1;
    const char* bytes = m_MsgLine.ANSIString();
    const DWORD size = static_cast<DWORD>(strlen(bytes));
    if (m_Overlapped.hEvent != nullptr) {
        ResetEvent(m_Overlapped.hEvent);
        const BOOL result = WriteFile(m_hTraceFile, bytes, size, nullptr, &m_Overlapped);
        if (!result && GetLastError() != ERROR_IO_PENDING) {
            // Failed at once: no completion will signal the event, so there
            // is nothing to wait for. The position stays where it was.
            ZAVDebugInternals::CutFileAt(*this, (static_cast<ZAVUInt64>(m_Overlapped.OffsetHigh) << 32) | m_Overlapped.Offset);
            return result;
        }
        // FALSE with ERROR_IO_PENDING is a write under way, finished by the wait.
        m_WritePending = 1;
        InsertMsgWait();
        return TRUE;
    }
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(m_hTraceFile, 0, &high, FILE_CURRENT);
    const bool known = low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
    DWORD written = 0;
    const BOOL result = WriteFile(m_hTraceFile, bytes, size, &written, nullptr);
    if (result) {
        m_BytesWritten += written;
    } else if (known) {
        ZAVDebugInternals::CutFileAt(*this, (static_cast<ZAVUInt64>(static_cast<DWORD>(high)) << 32) | low);
    }
    return result;
}

void ZAVDebug::InsertMsgWait() {
    if (m_WritePending == 0) return;
    const DWORD wait = WaitForSingleObject(m_Overlapped.hEvent, kWriteWaitMilliseconds);
    m_WritePending = 0;
    if (wait != WAIT_OBJECT_0) return;
    DWORD transferred = 0;
    const ZAVUInt64 start = (static_cast<ZAVUInt64>(m_Overlapped.OffsetHigh) << 32) | m_Overlapped.Offset;
    if (!GetOverlappedResult(m_hTraceFile, &m_Overlapped, &transferred, FALSE)) {
        ZAVDebugInternals::CutFileAt(*this, start);
        return;
    }
    const ZAVUInt64 position = start + transferred;
    m_Overlapped.Offset = static_cast<DWORD>(position);
    m_Overlapped.OffsetHigh = static_cast<DWORD>(position >> 32);
    m_BytesWritten = position;
}
