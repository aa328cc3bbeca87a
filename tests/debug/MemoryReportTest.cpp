// Heap reports; on POSIX also where the stand-in frees a heap behind the
// walk's back. (The virtual-memory line is written by the injection run.)
#include "TraceTestSupport.h"

namespace {

const size_t A = 2 * sizeof(void*);

size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; });
}

// Six blocks of 40 bytes with the fourth freed: the report's modes over it;
// a heap of more blocks than the report's table holds ends the report.
TEST(HeapReport, TablesOfEachMode) {
    HANDLE heap = HeapCreate(0, 65536, 0);
    void* blocks[6];
    for (void*& block : blocks) block = HeapAlloc(heap, 0, 40);
    memset(blocks[0], 'Q', 40);
    HeapFree(heap, 0, blocks[3]);
    auto report = [&](DWORD options, DWORD dump, LONG region, HANDLE walked = nullptr) {
        ScratchTrace t("heap");
        t.trace.TraceHeap(walked != nullptr ? walked : heap, options, dump, region);
        t.trace.TraceStop(0);
        return ReportLines(t.Text());
    };
    const auto all = report(0, 0, -1), inUse = report(0x2, 0, -1), merged = report(0x1, 0, -1);
    const auto both = report(0x3, 0, -1), bytes = report(0x2, 100, -1), none = report(0, 0, 77);
    ASSERT_GE(all.size(), 5u);
    EXPECT_EQ(all[2], "Type" + std::string(A - 1, ' ') + "Start     Length   Overhead     Region");
    EXPECT_GE(Count(all, "Region  ") * Count(all, "   Free "), 1u);
    for (const auto& l : all)  // numbers end under the titles' column ends
        EXPECT_TRUE(l.compare(0, 8, "Busy    ") != 0 ||
                    (l.size() > 8 + A + 33 && l[8 + A + 9] != ' ' && l.find(" Flags=0x4") != std::string::npos)) << l;
    EXPECT_EQ(Count(inUse, "   Free ") + Count(inUse, "Uncomit ") + Count(inUse, "-Gap-"), 0u);
    // Compressed: the busy blocks either side of the free one merge; with
    // 0x3 the skipped free block still keeps them apart.
    EXPECT_EQ(merged[1], "...>>> Compressed Heap Trace <<<...");
    EXPECT_EQ(Count(both, "Busy    "), Count(merged, "Busy    "));
    EXPECT_GE(Count(both, "Busy    "), 2u);
    EXPECT_LT(Count(both, "Busy    "), Count(inUse, "Busy    "));
    // The first block's 40 bytes of 'Q', in three lines, without flags.
    const auto at = std::find_if(bytes.begin(), bytes.end(), [](const std::string& l) { return l.find("*QQQQ") != std::string::npos; });
    ASSERT_LT(at + 2, bytes.end());
    EXPECT_EQ(*at, at->substr(0, 8 + A + 34) + "51515151 51515151 51515151 51515151 *QQQQQQQQQQQQQQQQ*");
    EXPECT_EQ(at->compare(0, 8, "Busy    ") + at[1].compare(0, 8, "        "), 0);
    EXPECT_EQ(at[2].substr(8 + A + 34), "51515151 51515151" + std::string(19, ' ') + "*QQQQQQQQ        *");
    EXPECT_EQ(Count(none, "Busy"), 0u);  // no such region
    HeapDestroy(heap);
    HANDLE full = HeapCreate(0, 1 << 20, 0);
    for (int i = 0; i < 3000; ++i) HeapAlloc(full, 0, 16);
    EXPECT_EQ(report(0x2, 0, -1, full).back(), "Trace buffer was too small for entire HeapWalk.");
    HeapDestroy(full);
}

// Free, committed and reserved bytes add up to the whole address space, a
// fresh reservation counted among the reserved.
TEST(VirtualMemory, TotalsCoverTheAddressSpace) {
    ScratchTrace t("vm");
    void* reserved = VirtualAlloc(nullptr, 1 << 20, MEM_RESERVE, PAGE_NOACCESS);
    t.trace.TraceVirtualMemUsage(42);
    VirtualFree(reserved, 0, MEM_RELEASE);
    unsigned long long freeBytes = 0, committed = 0, reservedBytes = 0;
    ASSERT_EQ(sscanf(ReportLines(t.Text()).back().c_str(), "Virtual memory usage: Free = %llu, Committed = %llu, Reserved = %llu, ID = 42",
                     &freeBytes, &committed, &reservedBytes), 3);
    EXPECT_GE(reservedBytes, 1u << 20);
#ifdef _WIN32
    SYSTEM_INFO system;
    GetSystemInfo(&system);  // the last address a program may use
    const unsigned long long end = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress) + 1;
#else
    const unsigned long long end = sizeof(void*) == 8 ? 0x800000000000ull : 0xC0000000ull;
#endif
    EXPECT_EQ(freeBytes + committed + reservedBytes, end);
}

#ifndef _WIN32
// A busy block that is gone by the time its bytes are shown ends the
// report; the host goes on.
TEST(HeapReport, ABlockFreedAfterTheWalkEndsTheReport) {
    HANDLE heap = HeapCreate(0, 0, 0);
    memset(HeapAlloc(heap, 0, 64), 'x', 64);
    ScratchTrace t("freed");
    ZAVPlatformTest_AfterNextHeapUnlock([](void* h) { HeapDestroy(h); }, heap);  // every block goes with its heap
    t.trace.TraceHeap(heap, 0x2, 32, -1);
    t.trace.InsertMsg(ZAV_TEXT("still tracing"));
    t.trace.TraceStop(0);
    const auto lines = ReportLines(t.Text());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "...>>> Detailed Heap Trace <<<...");
    EXPECT_EQ(lines.back(), "still tracing");
    EXPECT_EQ(Count(lines, "Busy") + Count(lines, "HeapWalk complete."), 0u) << "the block's line is not written";
}
#endif

}  // namespace
