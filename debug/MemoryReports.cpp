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

}  // namespace

void ZAVDebug::TraceHeap(void* heap, DWORD options, DWORD dumpBytes, LONG region) {
    if (ZAV_IsWinNT() == 0) return;
    const bool started = !ZAVDebugInternals::TraceOutputActive(*this);
    if (started) TraceStart();
    if (heap == nullptr) heap = GetProcessHeap();
    auto* table = static_cast<PROCESS_HEAP_ENTRY*>(VirtualAlloc(nullptr, kTableBytes, MEM_COMMIT, PAGE_READWRITE));
    bool locked = false;
    try {
        if (table == nullptr) throw 0;
        const size_t capacity = (kTableBytes - sizeof(PROCESS_HEAP_ENTRY)) / sizeof(PROCESS_HEAP_ENTRY) + 1;
        size_t count = 0;
        bool complete = false;
        PROCESS_HEAP_ENTRY entry;
        memset(&entry, 0, sizeof entry);
        // Nothing is allocated, formatted or written while the heap is locked.
        locked = HeapLock(heap) != FALSE;
        while (count < capacity) {
            if (!HeapWalk(heap, &entry)) {
                complete = true;
                break;
            }
            if ((options & kInUseOnly) != 0 && (entry.wFlags & (kRegion | kBusy)) == 0) continue;
            if (region != -1 && entry.iRegionIndex != region) continue;
            if ((options & kCompressed) != 0 && count != 0) {
                PROCESS_HEAP_ENTRY& kept = table[count - 1];
                if (End(kept) == reinterpret_cast<uintptr_t>(entry.lpData) && kept.wFlags == entry.wFlags &&
                    kept.iRegionIndex == entry.iRegionIndex) {
                    kept.cbData += entry.cbData;
                    kept.cbOverhead = static_cast<BYTE>(kept.cbOverhead + entry.cbOverhead);
                    continue;
                }
            }
            table[count++] = entry;
        }
        if (locked) HeapUnlock(heap);
        locked = false;

        InsertMsg((options & kCompressed) != 0 ? ZAV_TEXT("...>>> Compressed Heap Trace <<<...")
                                               : ZAV_TEXT("...>>> Detailed Heap Trace <<<..."));
        Line titles;
        titles.Append("Type%*sStart     Length   Overhead     Region", static_cast<int>(A - 1), "");
        InsertMsg(titles.text());
        uintptr_t expected = 0;
        for (size_t i = 0; i < count; ++i) {
            const PROCESS_HEAP_ENTRY& e = table[i];
            const uintptr_t start = reinterpret_cast<uintptr_t>(e.lpData);
            if (expected != 0 && expected < start && (options & kInUseOnly) == 0) {
                Line gap;
                gap.Append("-Gap-   ").Address(reinterpret_cast<void*>(expected)).Append(" %10u", static_cast<unsigned>(start - expected));
                InsertMsg(gap.text());
            }
            Line line;
            EntryLine(e, line);
            const bool busy = (e.wFlags & (kRegion | kUncommitted)) == 0 && (e.wFlags & kBusy) != 0;
            if (busy && dumpBytes != 0) {
                unsigned char* bytes = static_cast<unsigned char*>(e.lpData);
                DWORD left = dumpBytes < e.cbData ? dumpBytes : e.cbData;
                for (;;) {
                    line.Truncate(kDumpAt - 1);
                    line.text()[kDumpAt - 1] = ' ';
                    // A block freed and given back since the walk ends the report.
                    if (!zav::DumpLine(bytes, left, line.text() + kDumpAt, false)) throw ERROR_PARTIAL_COPY;
                    line.Truncate(kLineChars - 1);
                    if (left <= 16) break;
                    InsertMsg(line.text());
                    bytes += 16;
                    left -= 16;
                    line = Line();
                    line.Append("        ").Address(bytes).Append("%34s", "");
                }
            }
            InsertMsg(line.text());
            expected = End(e);
        }
        InsertMsg(complete ? ZAV_TEXT("HeapWalk complete.") : ZAV_TEXT("Trace buffer was too small for entire HeapWalk."));
    } catch (...) {
        if (locked) HeapUnlock(heap);
    }
    if (table != nullptr) VirtualFree(table, 0, MEM_RELEASE);
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
