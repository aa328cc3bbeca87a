#include <cstdio>
#include <sstream>

#include "TraceTestSupport.h"

namespace {

const size_t A = 2 * sizeof(void*);

class HeapReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        heap_ = HeapCreate(0, 65536, 0);
        for (int i = 0; i < 6; ++i) blocks_[i] = HeapAlloc(heap_, 0, 40);
        memset(blocks_[0], 'Q', 40);
        HeapFree(heap_, 0, blocks_[3]);  // a free block between busy ones
        name_ = dir_.Wide("heap");
    }
    void TearDown() override { HeapDestroy(heap_); }
    std::vector<std::string> Report(DWORD options, DWORD dump, LONG region) {
        ZAVDebug trace;
        trace.TraceStart(name_.data(), 0);
        trace.TraceHeap(heap_, options, dump, region);
        trace.TraceStop(0);
        const std::string path = dir_.File("heap") + (runs_ == 0 ? "" : std::to_string(runs_)) + ".log";
        ++runs_;
        return ReportLines(Masked(ReadFile(path)));
    }
    static size_t Count(const std::vector<std::string>& lines, const char* prefix) {
        size_t n = 0;
        for (const auto& l : lines) n += l.compare(0, strlen(prefix), prefix) == 0;
        return n;
    }
    ScratchDirectory dir_;
    WString name_;
    HANDLE heap_ = nullptr;
    void* blocks_[6] = {};
    int runs_ = 0;
};

TEST_F(HeapReportTest, DetailedTableWithColumnsAndEnd) {
    const auto lines = Report(0, 0, -1);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[1], "...>>> Detailed Heap Trace <<<...");
    EXPECT_EQ(lines[2], "Type" + std::string(A - 1, ' ') + "Start     Length   Overhead     Region");
    EXPECT_EQ(lines.back(), "HeapWalk complete.");
    EXPECT_GE(Count(lines, "Region  "), 1u);
    EXPECT_GE(Count(lines, "Busy    "), 5u);
    EXPECT_GE(Count(lines, "   Free "), 1u);
    // Numbers end under the titles' column ends.
    for (const auto& l : lines)
        if (l.compare(0, 8, "Busy    ") == 0) {
            EXPECT_EQ(l.size() >= 8 + A + 33, true);
            EXPECT_NE(l[8 + A + 10 - 1], ' ');
            EXPECT_NE(l.find(" Flags=0x4"), std::string::npos) << l;
        }
}

TEST_F(HeapReportTest, InUseOnlyAndCompressed) {
    const auto inUse = Report(0x2, 0, -1);
    EXPECT_EQ(Count(inUse, "   Free "), 0u);
    EXPECT_EQ(Count(inUse, "Uncomit "), 0u);
    EXPECT_EQ(Count(inUse, "-Gap-"), 0u);
    EXPECT_GE(Count(inUse, "Busy    "), 5u);

    // Compressed: the three busy blocks before the free one merge, the two
    // after it merge; with 0x3 the skipped free block still keeps them apart.
    const auto merged = Report(0x1, 0, -1);
    EXPECT_EQ(merged[1], "...>>> Compressed Heap Trace <<<...");
    const auto both = Report(0x3, 0, -1);
    EXPECT_LT(Count(merged, "Busy    "), Count(inUse, "Busy    "));
    EXPECT_EQ(Count(both, "Busy    "), Count(merged, "Busy    "));
    EXPECT_GE(Count(both, "Busy    "), 2u);
}

TEST_F(HeapReportTest, BusyBytesAndRegionFilter) {
    const auto lines = Report(0x2, 100, -1);
    // The first busy block: 40 bytes of 'Q' in three lines.
    size_t at = 0;
    while (at < lines.size() && lines[at].find("*QQQQ") == std::string::npos) ++at;
    ASSERT_LT(at + 2, lines.size());
    EXPECT_EQ(lines[at].compare(0, 8, "Busy    "), 0);
    EXPECT_EQ(lines[at].size(), 8 + A + 34 + 54);
    EXPECT_EQ(lines[at].substr(8 + A + 34), "51515151 51515151 51515151 51515151 *QQQQQQQQQQQQQQQQ*");
    EXPECT_EQ(lines[at + 1].compare(0, 8, "        "), 0);
    EXPECT_EQ(lines[at + 2].substr(8 + A + 34), "51515151 51515151" + std::string(19, ' ') + "*QQQQQQQQ        *");
    EXPECT_EQ(lines[at].find("Flags"), std::string::npos);

    const auto none = Report(0, 0, 77);  // no such region
    EXPECT_EQ(Count(none, "Busy"), 0u);
    EXPECT_EQ(none.back(), "HeapWalk complete.");
}

TEST(HeapReport, AFullTableEndsTheReport) {
    HANDLE heap = HeapCreate(0, 1 << 20, 0);
    for (int i = 0; i < 3000; ++i) HeapAlloc(heap, 0, 16);
    ScratchTrace t("full");
    t.trace.TraceHeap(heap, 0x2, 0, -1);
    t.trace.TraceStop(0);
    HeapDestroy(heap);
    const auto lines = ReportLines(t.Text());
    EXPECT_EQ(lines.back(), "Trace buffer was too small for entire HeapWalk.");
    // The header, the two title lines and the table's entries.
    const size_t entries = (65536 - sizeof(PROCESS_HEAP_ENTRY)) / sizeof(PROCESS_HEAP_ENTRY) + 1;
    EXPECT_EQ(lines.size(), 1 + 2 + entries + 1);
}

TEST(HeapReport, StartsAndStopsItsOwnTrace) {
    const std::string own = OwnTraceFile();
    std::remove(own.c_str());
    {
        ZAVDebug trace;  // inactive: the report opens a trace of its own and closes it again
        trace.TraceHeap(nullptr, 0x2, 0, -1);
        EXPECT_EQ(trace.TraceActive(), 0);
    }
    const auto lines = ReportLines(Masked(ReadFile(own)));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "...>>> Detailed Heap Trace <<<...");
    EXPECT_EQ(lines[lines.size() - 2], "HeapWalk complete.");
    EXPECT_EQ(lines.back(), "Trace Closed.");
    std::remove(own.c_str());
}

TEST(VirtualMemory, TotalsCoverTheAddressSpace) {
    ZAVDebug off;
    off.TraceVirtualMemUsage(1);  // no trace: nothing, and no trace is started
    EXPECT_EQ(off.TraceActive(), 0);
    ScratchTrace t("vm");
    void* reserved = VirtualAlloc(nullptr, 1 << 20, MEM_RESERVE, PAGE_NOACCESS);
    t.trace.TraceVirtualMemUsage(42);
    VirtualFree(reserved, 0, MEM_RELEASE);
    t.trace.TraceStop(0);
    const auto lines = ReportLines(t.Text());
    ASSERT_EQ(lines.size(), 2u);
    unsigned long long freeBytes = 0, committed = 0, reservedBytes = 0;
    unsigned id = 0;
    ASSERT_EQ(sscanf(lines[1].c_str(), "Virtual memory usage: Free = %llu, Committed = %llu, Reserved = %llu, ID = %u",
                     &freeBytes, &committed, &reservedBytes, &id),
              4);
    EXPECT_EQ(id, 42u);
    EXPECT_GE(reservedBytes, 1u << 20);
    EXPECT_GT(committed, 0u);
#ifdef _WIN32
    SYSTEM_INFO system;
    GetSystemInfo(&system);  // the last address a program may use
    const unsigned long long end = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress) + 1;
#else
    const unsigned long long end = sizeof(void*) == 8 ? 0x800000000000ull : 0xC0000000ull;
#endif
    EXPECT_EQ(freeBytes + committed + reservedBytes, end);
}

}  // namespace
