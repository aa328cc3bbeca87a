// Helpers the trace's parts share.
#pragma once

#include <string.h>

#include "AnsiText.h"
#include "ZAVDebug.h"

namespace zav {

// Hex output: addresses as wide as a pointer; a dump line without its
// address part is 54 characters.
const unsigned kAddressDigits = 2 * sizeof(void*);
const unsigned kDumpLineChars = 54;
void PutAddress(const void* address, WCHAR* out);
// Copies what is readable of [from, from + count), stopping at the first
// unreadable page; answers the bytes copied. Memory the trace shows but
// does not own is read only through this.
size_t CopyReadable(const void* from, unsigned char* to, size_t count);
// One dump line of up to 16 bytes (HexStringLine); false when an unreadable
// byte cut it short, after the digits of the bytes before it.
bool DumpLine(const void* data, DWORD count, WCHAR* out, bool withAddress);

// The step of InsertMsg in progress. A lost line's event names it as
// PgmChkLoc=<value>, so the values are fixed: operators read them in logs.
enum TraceLineStep : int {
    kStepWaitAndDate = 100,  // finishing the previous write; the date line
    kStepMemoryQuery = 200,  // asking the system for the process's memory counters
    kStepMemoryLine = 300,   // deciding on and writing the memory line
    kStepLinePrefix = 400,   // room for the line; its time and elapsed-time prefix
    kStepLineText = 500,     // indentation, text, line end and the line's output
};

// Set while a file's opening lines are written: they never roll it over.
extern thread_local bool tOpeningTraceFile;

// Ring records start at even, not necessarily 4-byte-aligned, positions.
inline DWORD LoadLength(const unsigned char* at) {
    DWORD value;
    memcpy(&value, at, sizeof value);
    return value;
}

inline void StoreLength(unsigned char* at, DWORD value) { memcpy(at, &value, sizeof value); }

}  // namespace zav

// The trace's own steps, kept out of the exported class.
struct ZAVDebugInternals {
    static void Initialise(ZAVDebug& trace);
    // A date, memory or message line: to the file, or to the ring without one.
    static void OutputLine(ZAVDebug& trace);
    // InsertMsg's steps, in their order.
    static void DateLine(ZAVDebug& trace);
    // Moves step on to kStepMemoryLine once the process query is done.
    static void MemoryLine(ZAVDebug& trace, ZAVUInt64 pool, zav::TraceLineStep& step);
    static void LinePrefix(ZAVDebug& trace, unsigned indentAndText, int64_t elapsedMicros);
    static void LineText(ZAVDebug& trace, unsigned indent, const WCHAR* text, unsigned length);
    // TraceStartOpen's steps after the name is formed.
    static bool CreateNumberedFile(ZAVDebug& trace, const ZAVString& base, ZAVString& name);
    static void BeginFile(ZAVDebug& trace);
    static void HeaderLine(ZAVDebug& trace, const ZAVString& name);
    static void RollOver(ZAVDebug& trace);
    // Cuts the trace file back to position (the start of a failed line).
    static void CutFileAt(ZAVDebug& trace, ZAVUInt64 position);
    static bool TraceOutputActive(const ZAVDebug& trace) {
        return trace.m_hTraceFile != nullptr || trace.m_pWrapBuf != nullptr;
    }
};
