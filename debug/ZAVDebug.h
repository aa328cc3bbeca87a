// The diagnostic trace: time-stamped trace files named after the program,
// a routine stack with Push/Pop lines and durations, and a wrap trace that
// keeps recent lines in a ring until they are dumped. One object belongs to
// one thread at a time; nothing here takes a lock.
#pragma once

#include "ZAVString.h"

// A growable per-level array; the three of a trace object keep one length.
template <typename T>
struct ZAVDebugLevels {
    T* Items;
    unsigned Size;
};

class ZAVUTIL1_API ZAVDebug {
public:
    ZAVDebug();
    // Starts inactive: nothing of the argument is copied.
    ZAVDebug(const ZAVDebug& other);
    // Changes nothing.
    ZAVDebug& operator=(const ZAVDebug& other);
    virtual ~ZAVDebug();

    // A file trace named after the program. Nothing happens while a file or
    // wrap trace is active.
    void TraceStart();
    // wrapSize 0: a file trace under name (empty: after the program);
    // otherwise a wrap trace of at least 1024 bytes whose dumps go to name.
    void TraceStart(WCHAR* name, DWORD wrapSize);
    // Closes the trace file; a non-zero flag writes "Trace Closed." first.
    void TraceStop(int closingLine);
    // 1 while a trace file is open.
    int TraceActive();
    // The size of one trace file after which the trace moves to the next.
    void MaxLogSize(DWORD limit);

    // One trace line: time, elapsed milliseconds, indentation, text.
    void InsertMsg(const WCHAR* text);
    void InsertMsg(ZAVString& text);

    // The routine stack. mode 0 silences the routine's Push/Pop lines, -2
    // takes the caller's setting, anything else writes them. Answers the
    // new level, to be passed to RoutinePop (a negative level pops one).
    LONG RoutinePush(const WCHAR* owner, const WCHAR* routine, const WCHAR* extra, LONG mode);
    // request 0x7FFFFFFF: none.
    LONG RoutinePushReq(const WCHAR* owner, const WCHAR* routine, LONG request, LONG mode);
    // rc 0x7FFFFFFF: none.
    void RoutinePop(LONG level, LONG rc);
    // "Owner.Routine" of the innermost level; empty with an empty stack.
    ZAVString ActiveRoutine() const;
    // Every level's text, outermost first, joined by ";".
    ZAVString ShowCallStack() const;

    // The wrap trace: on while its ring exists.
    int TraceWrapActive();
    void TraceWrapStop();
    // Writes the saved lines, oldest first, to a trace file between two
    // marker lines (and the title after the first), then empties the ring.
    void TraceDumpWrap(WCHAR* title);

    // Upper-case hexadecimal. The buffer forms write no terminator.
    void HexString(const void* data, DWORD count, WCHAR* out);
    ZAVString HexString(const void* data, DWORD count);
    void HexStringForDWORD(DWORD value, WCHAR* out);
    ZAVString HexStringForDWORD(DWORD value);
    // One dump line of the first min(count, 16) bytes: 54 characters, and
    // before them, when asked, the address (as wide as a pointer) and two blanks.
    void HexStringLine(unsigned char* data, DWORD count, WCHAR* out, int withAddress);
    // The area into the trace, 16 bytes a line, after a blank line and the title.
    void HexDump(const void* data, DWORD count, const WCHAR* title);

    // A table of one heap's regions and blocks (null: the process heap).
    // options 0x1 merges adjacent like entries, 0x2 keeps regions and busy
    // blocks only; dumpBytes of each busy block are shown; region -1 is all.
    void TraceHeap(void* heap, DWORD options, DWORD dumpBytes, LONG region);
    // One line with the free, committed and reserved bytes of the address space.
    void TraceVirtualMemUsage(DWORD id);

    LONG m_RoutineLevel;
    HANDLE m_hTraceFile;
    OVERLAPPED m_Overlapped;
    ZAVDebugLevels<ZAVString*>* m_pRoutineNames;
    ZAVDebugLevels<bool>* m_pRoutineTraceOn;
    ZAVDebugLevels<ZAVUInt64>* m_pRoutineStart;
    ZAVString m_MsgLine;
    ZAVString m_TraceFileName;
    unsigned char* m_pWrapBuf;
    unsigned char* m_pWrapLimit;
    unsigned char* m_pWrapOldest;
    unsigned char* m_pWrapNext;
    WCHAR m_LastDate[12];
    int m_WritePending;
    DWORD m_MemChangeThreshold;
    ZAVUInt64 m_LastMsgTime;
    ZAVUInt64 m_BytesWritten;
    ZAVUInt64 m_MaxLogSize;
    ZAVUInt64 m_LastPoolBusy;
    PROCESS_MEMORY_COUNTERS m_LastMemCounters;
    BOOL(WINAPI* m_pfnGetProcessMemoryInfo)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    HMODULE m_hPsapi;
    HANDLE m_hProcess;

private:
    void TraceStartOpen();
    int InsertMsgWrite();
    void InsertMsgWait();
    void TraceWrapNewline();
    void DisplayChars(WCHAR* out, unsigned char* data, DWORD count);

    friend struct ZAVDebugInternals;
};
