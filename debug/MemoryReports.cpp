// Heap and virtual-memory reports into the trace.
#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>

#include "TraceInternals.h"
#include "ZAVFrame.h"

namespace {

const SIZE_T kTableBytes = 65536;
const WORD kRegion = PROCESS_HEAP_REGION, kUncommitted = PROCESS_HEAP_UNCOMMITTED_RANGE, kBusy = PROCESS_HEAP_ENTRY_BUSY;
const DWORD kCompressed = 0x1, kInUseOnly = 0x2;
const unsigned A = zav::kAddressDigits;
// Where a busy block's bytes begin in its line: after the three numbers and
// a blank (position 50 with 8-digit addresses).
const unsigned kDumpAt = 8 + A + 34;
const unsigned kLineChars = kDumpAt + zav::kDumpLineChars + 1;
const uintptr_t kAddressSpaceEnd = sizeof(void*) == 8 ? static_cast<uintptr_t>(0x7FFFFFFFFFFFull) : 0x7FFFFFFFu;

// A line buffer composed with printf formats; "%A" is not one of them, so
// addresses are put in with PutAddress.
class Line {
public:
    Line() { text_[0] = 0; }
    Line& Append(const char* format, ...) ZAV_PRINTF_FORMAT(2, 3) {
        char bytes[256];
        va_list args;
        va_start(args, format);
        const int n = vsnprintf(bytes, sizeof bytes, format, args);
        va_end(args);
        for (int i = 0; i < n && i < static_cast<int>(sizeof bytes) - 1 && length_ < kCapacity; ++i)
            text_[length_++] = static_cast<unsigned char>(bytes[i]);
        text_[length_] = 0;
        return *this;
    }
    Line& Address(const void* address) {
        if (length_ + A < kCapacity) {
            zav::PutAddress(address, text_ + length_);
            length_ += A;
        }
        text_[length_] = 0;
        return *this;
    }
    WCHAR* text() { return text_; }
    unsigned length() const { return length_; }
    void Truncate(unsigned length) {
        length_ = length;
        text_[length_] = 0;
    }

private:
    static const unsigned kCapacity = 255;
    WCHAR text_[kCapacity + 1];
    unsigned length_ = 0;
};

uintptr_t End(const PROCESS_HEAP_ENTRY& e) {
    return reinterpret_cast<uintptr_t>(e.lpData) + e.cbData + e.cbOverhead;
}

// The entry's line, by its flags: region, uncommitted range, busy or free.
void EntryLine(const PROCESS_HEAP_ENTRY& e, Line& line) {
    const char* type = (e.wFlags & kRegion) != 0 ? "Region  " : (e.wFlags & kUncommitted) != 0 ? "Uncomit " : (e.wFlags & kBusy) != 0 ? "Busy    " : "   Free ";
    line.Append("%s", type).Address(e.lpData).Append(" %10u %10u %10u", static_cast<unsigned>(e.cbData),
                                                     static_cast<unsigned>(e.cbOverhead),
                                                     static_cast<unsigned>(e.iRegionIndex));
    if ((e.wFlags & kRegion) != 0) {
        line.Append(" Committed=%u, Uncommitted=%u, FirstBlock=", static_cast<unsigned>(e.Region.dwCommittedSize),
                    static_cast<unsigned>(e.Region.dwUnCommittedSize))
            .Address(e.Region.lpFirstBlock)
            .Append(", InvalidBlock=")
            .Address(e.Region.lpLastBlock);
    } else if ((e.wFlags & kUncommitted) == 0 && (e.wFlags & kBusy) != 0) {
        line.Append(" Flags=0x%x", static_cast<unsigned>(e.wFlags));
        if ((e.wFlags & PROCESS_HEAP_ENTRY_MOVEABLE) != 0) line.text()[4] = 'M';
        if ((e.wFlags & PROCESS_HEAP_ENTRY_DDESHARE) != 0) line.text()[5] = 'D';
    }
}

// The walk's entries, copied while the heap is locked: nothing is
// allocated, formatted or written meanwhile. complete: the walk reached the
// heap's end before the table filled.
struct HeapEntries {
    PROCESS_HEAP_ENTRY* table;
    size_t capacity;
    size_t count;
    bool complete;
};

// Adjacent entries of the same kind and region become one in the
// compressed report; answers whether entry went into kept.
bool MergeIntoLast(PROCESS_HEAP_ENTRY& kept, const PROCESS_HEAP_ENTRY& entry) {
    if (End(kept) != reinterpret_cast<uintptr_t>(entry.lpData) || kept.wFlags != entry.wFlags ||
        kept.iRegionIndex != entry.iRegionIndex)
        return false;
    kept.cbData += entry.cbData;
    kept.cbOverhead = static_cast<BYTE>(kept.cbOverhead + entry.cbOverhead);
    return true;
}

void CollectHeapEntries(HANDLE heap, DWORD options, LONG region, HeapEntries& entries) {
    PROCESS_HEAP_ENTRY entry;
    memset(&entry, 0, sizeof entry);
    const bool locked = HeapLock(heap) != FALSE;
    while (entries.count < entries.capacity) {
        if (!HeapWalk(heap, &entry)) {
            entries.complete = true;
            break;
        }
        if ((options & kInUseOnly) != 0 && (entry.wFlags & (kRegion | kBusy)) == 0) continue;
        if (region != -1 && entry.iRegionIndex != region) continue;
        if ((options & kCompressed) != 0 && entries.count != 0 &&
            MergeIntoLast(entries.table[entries.count - 1], entry))
            continue;
        entries.table[entries.count++] = entry;
    }
    if (locked) HeapUnlock(heap);
}

// The line for the unlisted bytes between two entries.
void TraceHeapGap(ZAVDebug& trace, uintptr_t from, uintptr_t to) {
    Line gap;
    gap.Append("-Gap-   ").Address(reinterpret_cast<void*>(from)).Append(" %10u", static_cast<unsigned>(to - from));
    trace.InsertMsg(gap.text());
}

// The entry's line; a busy block's also shows its first dumpBytes bytes,
// 16 to a line, the further lines led by their address. False when the
// block could not be read: freed and given back since the walk.
bool TraceHeapEntry(ZAVDebug& trace, const PROCESS_HEAP_ENTRY& e, DWORD dumpBytes) {
    Line line;
    EntryLine(e, line);
    const bool busy = (e.wFlags & (kRegion | kUncommitted)) == 0 && (e.wFlags & kBusy) != 0;
    if (busy && dumpBytes != 0) {
        unsigned char* bytes = static_cast<unsigned char*>(e.lpData);
        DWORD left = dumpBytes < e.cbData ? dumpBytes : e.cbData;
        for (;;) {
            line.Truncate(kDumpAt - 1);
            line.text()[kDumpAt - 1] = ' ';
            if (!zav::DumpLine(bytes, left, line.text() + kDumpAt, false)) return false;
            line.Truncate(kLineChars - 1);
            if (left <= 16) break;
            trace.InsertMsg(line.text());
            bytes += 16;
            left -= 16;
            line = Line();
            line.Append("        ").Address(bytes).Append("%34s", "");
        }
    }
    trace.InsertMsg(line.text());
    return true;
}

// An entry whose bytes cannot be read any more ends the report there.
void TraceHeapEntries(ZAVDebug& trace, const HeapEntries& entries, DWORD options, DWORD dumpBytes) {
    trace.InsertMsg((options & kCompressed) != 0 ? ZAV_TEXT("...>>> Compressed Heap Trace <<<...")
                                                 : ZAV_TEXT("...>>> Detailed Heap Trace <<<..."));
    Line titles;
    titles.Append("Type%*sStart     Length   Overhead     Region", static_cast<int>(A - 1), "");
    trace.InsertMsg(titles.text());
    uintptr_t expected = 0;
    for (size_t i = 0; i < entries.count; ++i) {
        const PROCESS_HEAP_ENTRY& e = entries.table[i];
        const uintptr_t start = reinterpret_cast<uintptr_t>(e.lpData);
        if (expected != 0 && expected < start && (options & kInUseOnly) == 0) TraceHeapGap(trace, expected, start);
        if (!TraceHeapEntry(trace, e, dumpBytes)) return;
        expected = End(e);
    }
    trace.InsertMsg(entries.complete ? ZAV_TEXT("HeapWalk complete.")
                                     : ZAV_TEXT("Trace buffer was too small for entire HeapWalk."));
}

}  // namespace

void ZAVDebug::TraceHeap(void* heap, DWORD options, DWORD dumpBytes, LONG region) {
    if (ZAV_IsWinNT() == 0) return;
    const bool started = !ZAVDebugInternals::TraceOutputActive(*this);
    if (started) TraceStart();
    if (heap == nullptr) heap = GetProcessHeap();
    auto* table = static_cast<PROCESS_HEAP_ENTRY*>(VirtualAlloc(nullptr, kTableBytes, MEM_COMMIT, PAGE_READWRITE));
    if (table != nullptr) {
        HeapEntries entries{table, (kTableBytes - sizeof(PROCESS_HEAP_ENTRY)) / sizeof(PROCESS_HEAP_ENTRY) + 1, 0,
                            false};
        CollectHeapEntries(heap, options, region, entries);
        try {
            TraceHeapEntries(*this, entries, options, dumpBytes);
        } catch (...) {
            // A report that cannot be written ends; the host goes on.
        }
        VirtualFree(table, 0, MEM_RELEASE);
    }
    if (started) TraceStop(1);
}

void ZAVDebug::TraceVirtualMemUsage(DWORD id) {
    if (!ZAVDebugInternals::TraceOutputActive(*this)) return;
    ZAVUInt64 free = 0, committed = 0, reserved = 0;
    uintptr_t address = 0;
    do {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<LPCVOID>(address), &info, sizeof info) == 0) break;
        switch (info.State) {
            case MEM_FREE: free += info.RegionSize; break;
            case MEM_COMMIT: committed += info.RegionSize; break;
            case MEM_RESERVE: reserved += info.RegionSize; break;
            default: {
                Line bad;
                bad.Append("ZAVDebug::TraceVirtualMemUsage found invalid memory state = %d (0x%x), address = 0x%" PRIxPTR,
                           static_cast<int>(info.State), static_cast<unsigned>(info.State), address);
                InsertMsg(bad.text());
                return;
            }
        }
        address = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    } while (address < kAddressSpaceEnd);
    Line line;
    line.Append("Virtual memory usage: Free = %" PRIu64 ", Committed = %" PRIu64 ", Reserved = %" PRIu64 ", ID = %u",
                static_cast<uint64_t>(free), static_cast<uint64_t>(committed), static_cast<uint64_t>(reserved),
                static_cast<unsigned>(id));
    InsertMsg(line.text());
}
