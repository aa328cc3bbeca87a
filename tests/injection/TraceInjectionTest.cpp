// The trace under failing allocations and failing writes: nested routines
// and memory lines in files that roll over, then the wrap ring dumped. No
// call lets a failure out except a push that cannot be made; every file
// keeps whole lines; a line lost to a failed allocation is reported to the
// event log; the trace writes the next line once memory is back. (Heap
// reports and hex dumps write through the same lines.)
#include <filesystem>
#include <optional>
#include <set>

#include "InjectionLoop.h"

namespace {

using zavtest::Fault;
using zavtest::InjectedRun;
using zavtest::InjectionTest;

// The messages in a run's files, without their indentation. The files hold
// date, memory, marker and message lines of their own, never torn off or
// glued to another (a line written raw is named).
std::set<std::string> Messages(const std::string& base, const std::string& raw) {
    static const std::regex shape(
        "Date=[0-9]{2}/[0-9]{2}/[0-9]{2}={80}|---- (?:Wrap trace of saved events|End of wrap trace)\\.|"
        "--Trace closed and re-opened due to trace size\\.|"
        "\\.\\.\\.Memory use changed\\. Internal Pool=-?[0-9]+, -?[0-9]+\\. Process Bytes Allocated=-?[0-9]+, -?[0-9]+|"
        "[0-9]{2}:[0-9]{2}:[0-9]{2}  *-?[0-9]+\\.[0-9]{3} +(.*)");
    std::set<std::string> messages;
    for (int i = 0; std::filesystem::exists(base + (i == 0 ? "" : std::to_string(i)) + ".log"); ++i) {
        const std::string text = ReadFile(base + (i == 0 ? "" : std::to_string(i)) + ".log");
        std::smatch parts;
        for (size_t at = 0, end; at < text.size(); at = end + 2) {
            end = std::min(text.find("\r\n", at), text.size());
            const std::string line = text.substr(at, end - at);
            if (line == raw) continue;
            if (!std::regex_match(line, parts, shape)) ADD_FAILURE() << "torn or glued line \"" << line << "\"";
            messages.insert(parts[1].str());
        }
    }
    return messages;
}

// Whether the event log got the trace's report of a lost line with text.
bool ReportedLost(const InjectedRun& run, const std::string& text) {
    return std::any_of(run.reports.begin(), run.reports.end(), [&](const std::string& report) {
        return report.find("ZAVDebug.InsertMsg PgmChkLoc=") != std::string::npos &&
               report.find("Original Text=\"" + text + "\"") != std::string::npos;
    });
}

class TracedWork {
public:
    explicit TracedWork(InjectedRun& run) : run_(run), name_(Widen(run.name)) {}

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
        // The wrap ring keeps the newest lines, so the last one is expected,
        // unless the dump failed: that ends the wrap trace, losing the ring.
        trace_->TraceStop(0);
        trace_->TraceStart(name_.data(), 1024);
        for (int i = 0; i < 30; ++i) trace_->InsertMsg(Widen("wrapped line " + std::to_string(i)).c_str());
        trace_->TraceDumpWrap(title_.data());
        if (trace_->TraceWrapActive() != 0) expected_.push_back("wrapped line 29");
    }

    // With memory back the trace dumps again, or writes the next line
    // (started anew if a failure left it inactive) and its closing line.
    // Every expected line is in the files, or was lost as the run allows:
    // reported when one allocation failed (only then does the report have
    // its memory), one line at most per failed write.
    void Verify() {
        EXPECT_EQ(trace_->m_RoutineLevel, -1) << "the stack came back to empty";
        if (trace_->TraceWrapActive() != 0) {
            Message("a line for the second dump");
            trace_->TraceDumpWrap(title_.data());
            EXPECT_EQ(trace_->TraceWrapActive(), 1);
        }
        trace_->TraceWrapStop();
        trace_->TraceStart(name_.data(), 0);
        EXPECT_EQ(trace_->TraceActive(), 1);
        Message("the line after the failures");
        trace_.reset();
        const std::set<std::string> written = Messages(run_.name, "A dump's title");
        EXPECT_EQ(written.count("the line after the failures") + written.count("Trace Closed."), 2u);
        unsigned lost = 0;
        for (const std::string& text : expected_) {
            if (written.count(text) != 0) continue;
            ++lost;
            EXPECT_TRUE(run_.fault != Fault::Allocation || ReportedLost(run_, text)) << "lost silently: " << text;
        }
        EXPECT_LE(lost, run_.fault == Fault::Write ? run_.failed : run_.n == 0 ? 0 : lost);
    }

private:
    bool OutputActive() { return trace_->TraceActive() != 0 || trace_->TraceWrapActive() != 0; }

    // A line given to an active trace must reach the output or be reported lost.
    void Message(const std::string& text) {
        if (OutputActive()) expected_.push_back(text);
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

    InjectedRun& run_;
    WString name_, title_ = ZAV_TEXT("A dump's title");
    std::optional<ZAVDebug> trace_;
    std::vector<std::string> expected_;
};

TEST_F(InjectionTest, TraceRoutinesAndWrapRingDump) { Loop<TracedWork>(); }

}  // namespace
