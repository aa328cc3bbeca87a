// The trace under failing allocations and failing writes: nested routines
// and memory lines in files that roll over, then the wrap ring dumped. No
// call lets a failure out except a push that cannot be made; every file
// keeps whole lines; a line lost to a failed allocation is reported to the
// event log; the trace writes the next line once memory is back. (Heap
// reports and hex dumps write through the same lines.)
#include <filesystem>
#include <numeric>
#include <optional>
#include <set>
#include <sstream>

#include "InjectionLoop.h"

namespace {

// The messages in a run's files, without their indentation. The files hold
// date, memory, marker and message lines of their own, never torn off or
// glued to another.
std::set<std::string> Messages(const std::string& base) {
    static const std::regex shape(
        "(?:Date=[0-9]{2}/[0-9]{2}/[0-9]{2}={80}|---- (?:Wrap trace of saved events|End of wrap trace)\\.|"
        "--Trace closed and re-opened due to trace size\\.|"
        "\\.\\.\\.Memory use changed\\. Internal Pool=-?[0-9]+, -?[0-9]+\\. Process Bytes Allocated=-?[0-9]+, -?[0-9]+|"
        "[0-9]{2}:[0-9]{2}:[0-9]{2}  *-?[0-9]+\\.[0-9]{3} +(.*))\r");
    std::set<std::string> messages;
    std::smatch parts;
    for (int i = 0; std::filesystem::exists(base + (i == 0 ? "" : std::to_string(i)) + ".log"); ++i) {
        std::istringstream text(ReadFile(base + (i == 0 ? "" : std::to_string(i)) + ".log"));
        for (std::string line; std::getline(text, line);) {
            if (!std::regex_match(line, parts, shape)) ADD_FAILURE() << "torn or glued line \"" << line << "\"";
            messages.insert(parts[1].str());
        }
    }
    return messages;
}

class TracedWork {
public:
    void Act(const InjectedRun& run) {
        name_ = Widen(run.name);
        trace_.emplace();
        trace_->TraceStart(name_.data(), 0);
        trace_->MaxLogSize(1500);  // two roll-overs on the way
        const LONG outer = Push(ZAV_TEXT("Outer"), ZAV_TEXT("first"));
        Message("outer line one");
        const LONG inner = Push(ZAV_TEXT("Inner"), nullptr);
        Message("inner line");
        try {
            EXPECT_EQ(trace_->ShowCallStack().empty(), outer < 0 && inner < 0);
        } catch (const std::bad_alloc&) {
        }
        trace_->TraceVirtualMemUsage(7);
        if (inner >= 0) trace_->RoutinePop(inner, 0);
        Message("outer line two");
        if (outer >= 0) trace_->RoutinePop(outer, 5);
        // The wrap ring keeps the newest lines, so the last one is expected,
        // unless the dump failed: that ends the wrap trace, losing the ring.
        trace_->TraceStop(0);
        trace_->TraceStart(name_.data(), 1024);
        for (int i = 0; i < 30; ++i) trace_->InsertMsg(Widen("wrapped line " + std::to_string(i)).c_str());
        trace_->TraceDumpWrap(nullptr);
        if (trace_->TraceWrapActive() != 0) expected_.push_back("wrapped line 29");
    }

    // With memory back the ring dumps again and the trace, started anew if a
    // failure left it inactive, writes the next line and its closing line.
    // Every expected line is in the files, or was lost as the run allows:
    // reported when one allocation failed (only then does the report have
    // its memory), no more lines than the run met failures unless every
    // allocation from n on failed.
    void Verify(const InjectedRun& run) {
        EXPECT_EQ(trace_->m_RoutineLevel, -1) << "the stack came back to empty";
        Message("a line for the second dump");
        trace_->TraceDumpWrap(nullptr);
        trace_->TraceWrapStop();
        trace_->TraceStart(name_.data(), 0);
        Message("the line after the failures");
        trace_.reset();
        const std::set<std::string> written = Messages(run.name);
        const std::string reports = std::accumulate(run.reports.begin(), run.reports.end(), std::string());
        EXPECT_EQ(written.count("the line after the failures") + written.count("Trace Closed."), 2u);
        unsigned lost = 0;
        for (const std::string& text : expected_) {
            if (written.count(text) != 0) continue;
            ++lost;
            EXPECT_TRUE(run.fault != Fault::Allocation || reports.find("Original Text=\"" + text + "\"") != std::string::npos)
                << "lost silently: " << text;
        }
        EXPECT_LE(lost, run.fault == Fault::AllocationsFromNOn ? lost : run.failed);
    }

private:
    // A line given to an active trace must reach the output or be reported lost.
    void Message(const std::string& text) {
        if (trace_->TraceActive() != 0 || trace_->TraceWrapActive() != 0) expected_.push_back(text);
        trace_->InsertMsg(Widen(text).c_str());
    }

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

    WString name_;
    std::optional<ZAVDebug> trace_;
    std::vector<std::string> expected_;
};

TEST_F(InjectionTest, TraceRoutinesAndWrapRingDump) { Loop<TracedWork>(); }

}  // namespace
