// The trace under failing allocations and failing writes: a trace with
// nested routines and memory lines that rolls over to further files, a wrap
// ring and its dump, a heap report and a hex dump. No call lets a failure
// out except a push that cannot be made; every file keeps whole lines; a
// line lost to a failed allocation is reported to the event log; the trace
// writes the next line once memory is back.
#include <filesystem>
#include <new>
#include <optional>

#include "InjectionLoop.h"

namespace {

using zavtest::Fault;
using zavtest::InjectedRun;
using zavtest::InjectionTest;

std::string Hex(const void* address) {
    char text[32];
    snprintf(text, sizeof text, "%0*llX", static_cast<int>(2 * sizeof(void*)),
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    return text;
}

// What the trace workloads share: the trace object, the scenario's own
// lines and the files of the run (name.log, name1.log, ...).
class TraceWorkload {
public:
    explicit TraceWorkload(InjectedRun& run) : run_(run), name_(Widen(run.name)) {}

protected:
    bool OutputActive() { return trace_->TraceActive() != 0 || trace_->TraceWrapActive() != 0; }

    // A line of the scenario's own; given to an active trace, it must reach
    // the output or be reported lost.
    void Message(const std::string& text) {
        const bool active = OutputActive();
        trace_->InsertMsg(Widen(text).c_str());
        if (active) expected_.push_back(text);
    }

    std::vector<std::string> FileLines(const std::vector<std::string>& rawLines = {}) {
        std::vector<std::string> lines;
        for (int i = 0;; ++i) {
            const std::string path = run_.name + (i == 0 ? "" : std::to_string(i)) + ".log";
            if (!std::filesystem::exists(path)) break;
            const std::vector<std::string> more = zavtest::TraceFileLines(path, rawLines);
            lines.insert(lines.end(), more.begin(), more.end());
        }
        return lines;
    }

    // Every expected line is in the files, or was lost the way the run
    // allows: reported when one allocation failed, one line at most per
    // failed write.
    void CheckExpected(const std::vector<std::string>& lines) {
        unsigned lost = 0;
        for (const std::string& text : expected_) {
            if (zavtest::HasMessage(lines, text)) continue;
            ++lost;
            if (run_.LostLinesReported()) {
                EXPECT_TRUE(zavtest::ReportedLost(run_, text)) << "lost silently: " << text;
            }
        }
        if (run_.fault == Fault::Write) {
            EXPECT_LE(lost, run_.failed);
        }
        if (run_.n == 0) {
            EXPECT_EQ(lost, 0u);
        }
    }

    // With memory back the trace writes the next line (started anew if a
    // failure left it inactive), and closes with its closing line.
    void CheckNextLineAndClose(const std::vector<std::string>& rawLines = {}) {
        if (trace_->TraceActive() == 0) {
            trace_->TraceWrapStop();
            trace_->TraceStart(name_.data(), 0);
        }
        ASSERT_EQ(trace_->TraceActive(), 1);
        Message("the line after the failures");
        trace_.reset();
        const std::vector<std::string> lines = FileLines(rawLines);
        EXPECT_TRUE(zavtest::HasMessage(lines, "the line after the failures"));
        EXPECT_TRUE(zavtest::HasMessage(lines, "Trace Closed."));
        CheckExpected(lines);
    }

    InjectedRun& run_;
    WString name_;
    std::optional<ZAVDebug> trace_;
    std::vector<std::string> expected_;
};

class RoutineTrace : public TraceWorkload {
public:
    using TraceWorkload::TraceWorkload;

    void Act() {
        trace_.emplace();
        trace_->TraceStart(name_.data(), 0);
        trace_->MaxLogSize(1500);  // two roll-overs on the way
        const LONG outer = Push(ZAV_TEXT("Outer"), ZAV_TEXT("first"));
        Message("outer line one");
        void* block = ZAV_MemoryGet(3000, 0);  // a memory line with the next line
        const LONG inner = Push(ZAV_TEXT("Inner"), nullptr);
        Message("inner line");
        try {
            EXPECT_EQ(trace_->ShowCallStack().empty(), outer < 0 && inner < 0);
        } catch (const std::bad_alloc&) {
        }
        trace_->TraceVirtualMemUsage(7);
        if (inner >= 0) trace_->RoutinePop(inner, 0);
        ZAV_MemoryFree(block);
        Message("outer line two");
        if (outer >= 0) trace_->RoutinePop(outer, 5);
        Message("last line before the end");
    }

    void Verify() {
        EXPECT_EQ(trace_->m_RoutineLevel, -1) << "the stack came back to empty";
        CheckNextLineAndClose();
    }

private:
    // The level, or -1 when the push failed (passing its bad_alloc on).
    LONG Push(const WCHAR* routine, const WCHAR* extra) {
        const LONG before = trace_->m_RoutineLevel;
        try {
            return extra != nullptr ? trace_->RoutinePush(ZAV_TEXT("Injected"), routine, extra, 1)
                                    : trace_->RoutinePushReq(ZAV_TEXT("Injected"), routine, 42, 1);
        } catch (const std::bad_alloc&) {
            EXPECT_EQ(trace_->m_RoutineLevel, before) << "a failed push left the stack changed";
            return -1;
        }
    }
};

class WrapDump : public TraceWorkload {
public:
    using TraceWorkload::TraceWorkload;

    void Act() {
        trace_.emplace();
        trace_->TraceStart(name_.data(), 1024);
        for (int i = 0; i < 30; ++i) trace_->InsertMsg(Widen("wrapped line " + std::to_string(i)).c_str());
        trace_->TraceDumpWrap(title_.data());
        // The ring keeps only the newest lines, so the last one is expected,
        // unless the dump failed: that ends the wrap trace, losing the ring.
        if (trace_->TraceWrapActive() != 0) expected_.push_back("wrapped line 29");
    }

    void Verify() {
        if (trace_->TraceWrapActive() != 0) {
            Message("a line for the second dump");
            trace_->TraceDumpWrap(title_.data());
            EXPECT_EQ(trace_->TraceWrapActive(), 1);
        }
        CheckNextLineAndClose({"A dump's title"});
    }

private:
    WString title_ = ZAV_TEXT("A dump's title");
};

class HeapReport : public TraceWorkload {
public:
    explicit HeapReport(InjectedRun& run) : TraceWorkload(run), heap_(HeapCreate(0, 65536, 0)) {
        for (int i = 0; i < 8; ++i) memset(HeapAlloc(heap_, 0, 24 + 8 * i), 'a' + i, 24);
    }
    ~HeapReport() { HeapDestroy(heap_); }

    void Act() {
        trace_.emplace();
        trace_->TraceStart(name_.data(), 0);
        // An inactive trace would start one of its own beside the program.
        if (!OutputActive()) return;
        trace_->TraceHeap(heap_, 0, 40, -1);
        trace_->TraceHeap(heap_, 0x3, 0, -1);
        expected_.push_back("HeapWalk complete.");
    }

    void Verify() { CheckNextLineAndClose(); }

private:
    HANDLE heap_;
};

class HexDump : public TraceWorkload {
public:
    using TraceWorkload::TraceWorkload;

    void Act() {
        trace_.emplace();
        trace_->TraceStart(name_.data(), 0);
        active_ = OutputActive();
        trace_->HexDump(data_, sizeof data_ - 1, ZAV_TEXT("A hex dump's title"));
        if (active_) expected_.push_back("A hex dump's title");
    }

    // Each of the dump's lines, known by its address, is in the file or reported.
    void Verify() {
        std::vector<std::string> lines = FileLines();
        for (size_t at = 0; active_ && at < sizeof data_ - 1; at += 16) {
            const std::string address = Hex(data_ + at);
            bool found = false;
            for (const std::string& line : lines) found = found || line.find(address + "  ") != std::string::npos;
            if (!found && run_.LostLinesReported()) {
                EXPECT_TRUE(zavtest::ReportedLost(run_, address, false)) << "dump line lost silently: " << address;
            }
        }
        CheckNextLineAndClose();
    }

private:
    const char data_[101] = "A hundred bytes of text to dump, sixteen to a line, with their address in front "
                            "and ASCII after.";
    bool active_ = false;
};

TEST_F(InjectionTest, TraceWithRoutines) { Loop<RoutineTrace>("trace with routines"); }

TEST_F(InjectionTest, WrapRingDump) { Loop<WrapDump>("wrap-ring dump"); }

TEST_F(InjectionTest, HeapReport) { Loop<HeapReport>("heap report"); }

TEST_F(InjectionTest, HexDump) { Loop<HexDump>("hex dump"); }

}  // namespace
