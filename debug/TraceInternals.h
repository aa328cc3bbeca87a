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
    // Moves checkLocation on to 300 once the process query is done.
    static void MemoryLine(ZAVDebug& trace, ZAVUInt64 pool, int& checkLocation);
    static void RollOver(ZAVDebug& trace);
    static bool TraceOutputActive(const ZAVDebug& trace) {
        return trace.m_hTraceFile != nullptr || trace.m_pWrapBuf != nullptr;
    }
};
