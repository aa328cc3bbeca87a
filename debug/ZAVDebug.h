/// \file
/// The diagnostic trace: time-stamped trace files named after the program,
/// a routine stack with Push/Pop lines and durations, and a wrap trace that
/// keeps recent lines in a ring until they are dumped. One object belongs to
/// one thread at a time; nothing here takes a lock.
#pragma once

#include "ZAVString.h"

/// A growable per-level array; the three of a trace object keep one length.
template <typename T>
struct ZAVDebugLevels {
    T* Items;       ///< one entry per routine-stack level
    unsigned Size;  ///< entries in Items
};

/// A trace object: its trace file, routine stack and wrap trace. Its
/// diagnostic operations never let a failure reach the caller; a lost line
/// is reported to the event log.
class ZAVUTIL1_API ZAVDebug {
public:
    /// An inactive trace with an empty routine stack.
    ZAVDebug();
    /// Starts inactive: nothing of the argument is copied.
    ZAVDebug(const ZAVDebug& other);
    /// Changes nothing.
    ZAVDebug& operator=(const ZAVDebug& other);
    /// Stops the trace with its closing line and releases what the object
    /// owns. Never throws, though its strings' destructors may.
    virtual ~ZAVDebug() noexcept;

    /// A file trace named after the program. Nothing happens while a file or
    /// wrap trace is active.
    void TraceStart();
    /// wrapSize 0: a file trace under name (empty: after the program);
    /// otherwise a wrap trace of at least 1024 bytes whose dumps go to name.
    void TraceStart(zav::win::WCHAR* name, zav::win::DWORD wrapSize);
    /// Closes the trace file; a non-zero flag writes "Trace Closed." first.
    void TraceStop(int closingLine);
    /// 1 while a trace file is open.
    int TraceActive();
    /// The size of one trace file after which the trace moves to the next.
    void MaxLogSize(zav::win::DWORD limit);

    /// One trace line: time, elapsed milliseconds, indentation, text (never
    /// null). Goes to the file, or to the wrap ring when no file is open.
    void InsertMsg(const zav::win::WCHAR* text);
    /// As above, with the string's text.
    void InsertMsg(ZAVString& text);

    /// Enters a routine on the stack and writes its Push line. mode 0
    /// silences the routine's Push/Pop lines, -2 takes the caller's setting,
    /// anything else writes them. Answers the new level, for RoutinePop.
    zav::win::LONG RoutinePush(const zav::win::WCHAR* owner, const zav::win::WCHAR* routine, const zav::win::WCHAR* extra, zav::win::LONG mode);
    /// As RoutinePush, with a request number as the extra (0x7FFFFFFF: none).
    zav::win::LONG RoutinePushReq(const zav::win::WCHAR* owner, const zav::win::WCHAR* routine, zav::win::LONG request, zav::win::LONG mode);
    /// Leaves the routine of level (negative: the innermost) with a Pop line
    /// of the return code rc (0x7FFFFFFF: none) and the duration.
    void RoutinePop(zav::win::LONG level, zav::win::LONG rc);
    /// "Owner.Routine" of the innermost level; empty with an empty stack.
    ZAVString ActiveRoutine() const;
    /// Every level's text, outermost first, joined by ";".
    ZAVString ShowCallStack() const;

    /// 1 while the wrap trace is on (its ring exists), else 0.
    int TraceWrapActive();
    /// Ends the wrap trace; the saved lines are discarded.
    void TraceWrapStop();
    /// Writes the saved lines, oldest first, to a trace file between two
    /// marker lines (and the title after the first), then empties the ring.
    void TraceDumpWrap(zav::win::WCHAR* title);

    // Upper-case hexadecimal. The buffer forms write no terminator.
    /// Writes 2 x count hex digits of the bytes at data to out.
    void HexString(const void* data, zav::win::DWORD count, zav::win::WCHAR* out);
    /// The 2 x count hex digits of the bytes at data.
    ZAVString HexString(const void* data, zav::win::DWORD count);
    /// Writes the value's 8 hex digits, most significant first, to out.
    void HexStringForDWORD(zav::win::DWORD value, zav::win::WCHAR* out);
    /// The value's 8 hex digits, most significant first.
    ZAVString HexStringForDWORD(zav::win::DWORD value);
    /// One dump line of the first min(count, 16) bytes: 54 characters, and
    /// before them, when asked, the address (as wide as a pointer) and two blanks.
    void HexStringLine(unsigned char* data, zav::win::DWORD count, zav::win::WCHAR* out, int withAddress);
    /// The area into the trace, 16 bytes a line, after a blank line and the title.
    void HexDump(const void* data, zav::win::DWORD count, const zav::win::WCHAR* title);

    /// A table of one heap's regions and blocks (null: the process heap).
    /// options 0x1 merges adjacent like entries, 0x2 keeps regions and busy
    /// blocks only; dumpBytes of each busy block are shown; region -1 is all.
    void TraceHeap(void* heap, zav::win::DWORD options, zav::win::DWORD dumpBytes, zav::win::LONG region);
    /// One line with the free, committed and reserved bytes of the address
    /// space, ending with the caller's id.
    void TraceVirtualMemUsage(zav::win::DWORD id);

    zav::win::LONG m_RoutineLevel;                           ///< innermost routine's level; -1 for an empty stack
    zav::win::HANDLE m_hTraceFile;                           ///< the open trace file; 0 when none is open
    zav::win::OVERLAPPED m_Overlapped;                       ///< the file writes' position and completion event
    ZAVDebugLevels<ZAVString*>* m_pRoutineNames;   ///< per level, the routine's name
    ZAVDebugLevels<bool>* m_pRoutineTraceOn;       ///< per level, whether its Push/Pop lines are written
    ZAVDebugLevels<ZAVUInt64>* m_pRoutineStart;    ///< per level, the timer at its Push
    ZAVString m_MsgLine;                           ///< the line being composed
    ZAVString m_TraceFileName;                     ///< the name given to TraceStart; empty: after the program
    unsigned char* m_pWrapBuf;                     ///< the wrap ring; null without a wrap trace
    unsigned char* m_pWrapLimit;                   ///< end of the ring's usable part
    unsigned char* m_pWrapOldest;                  ///< the oldest record in the ring
    unsigned char* m_pWrapNext;                    ///< where the next record goes
    zav::win::WCHAR m_LastDate[12];                          ///< the date of the last date line; empty in a new file
    int m_WritePending;                            ///< 1 while a file write is not yet waited for
    zav::win::DWORD m_MemChangeThreshold;                    ///< pool change in bytes that writes a memory line
    ZAVUInt64 m_LastMsgTime;                       ///< the timer at the previous line
    ZAVUInt64 m_BytesWritten;                      ///< bytes written to the current file
    ZAVUInt64 m_MaxLogSize;                        ///< a file's size limit in bytes (100 MiB)
    ZAVUInt64 m_LastPoolBusy;                      ///< ZAV_PoolMemBusy in the last memory line
    zav::win::PROCESS_MEMORY_COUNTERS m_LastMemCounters;     ///< process counters in the last memory line
    /// GetProcessMemoryInfo, looked up on first need.
    int(ZAV_WINAPI* m_pfnGetProcessMemoryInfo)(zav::win::HANDLE, zav::win::PPROCESS_MEMORY_COUNTERS, zav::win::DWORD);
    zav::win::HMODULE m_hPsapi;                              ///< psapi, loaded on first need
    zav::win::HANDLE m_hProcess;                             ///< the own process, opened on first need

private:
    void TraceStartOpen();
    int InsertMsgWrite();
    void InsertMsgWait();
    void TraceWrapNewline();
    void DisplayChars(zav::win::WCHAR* out, unsigned char* data, zav::win::DWORD count);

    friend struct ZAVDebugInternals;
};
