#include "ChromeTrace.h"

#include <iterator>

#include <fmt/format.h>

#include "TextEncoding.h"

namespace zavtrace {
namespace {

constexpr size_t kFlushAt = size_t(1) << 20;
// Long texts (hex dumps, reports) are cut in the event's name; the whole
// line stays in its args.
constexpr size_t kLongestName = 120;

uint32_t ThreadOf(const Track& track) { return track.wrapDump ? ChromeTraceSink::kWrapThread : track.threadId; }

const char* EndName(CallEnd end) {
    switch (end) {
    case CallEnd::Popped: return nullptr;
    case CallEnd::PopWithoutPush: return "pop without push";
    case CallEnd::ClosedWithoutPop: return "ended without pop";
    case CallEnd::OpenAtEnd: return "open at end of trace";
    }
    return nullptr;
}

}  // namespace

ChromeTraceSink::ChromeTraceSink(FILE* out, const RoutineTable& routines, ChromeOptions options)
    : out_(out), routines_(routines), options_(options) {
    buffer_.reserve(kFlushAt + 4096);
    buffer_ += "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[\n";
}

ChromeTraceSink::~ChromeTraceSink() { Close(); }

void ChromeTraceSink::Number(int64_t value) {
    const fmt::format_int text(value);
    buffer_.append(text.data(), text.size());
}

void ChromeTraceSink::Begin(const char* phase, std::string_view name, const Track& track, int64_t us) {
    if (!first_) buffer_ += ",\n";
    first_ = false;
    buffer_ += "{\"name\":\"";
    AppendJsonString(buffer_, name);
    buffer_ += "\",\"ph\":\"";
    buffer_ += phase;
    buffer_ += "\",\"ts\":";
    Number(us);
    buffer_ += ",\"pid\":";
    Number(track.processId);
    buffer_ += ",\"tid\":";
    Number(ThreadOf(track));
}

void ChromeTraceSink::End() {
    buffer_ += '}';
    if (buffer_.size() >= kFlushAt) {
        if (fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) failed_ = true;
        buffer_.clear();
    }
}

void ChromeTraceSink::Name(const Track& track) {
    // Runs of events come from one track: the sets are asked once per run.
    const std::pair<uint32_t, uint32_t> thread{track.processId, ThreadOf(track)};
    if (lastNamed_ == thread && anyNamed_) return;
    lastNamed_ = thread;
    anyNamed_ = true;
    if (!namedThreads_.insert(thread).second) return;
    if (namedProcesses_.insert(track.processId).second) {
        Begin("M", "process_name", track, 0);
        fmt::format_to(std::back_inserter(buffer_), ",\"args\":{{\"name\":\"process {}\"}}", track.processId);
        End();
    }
    Begin("M", "thread_name", track, 0);
    if (track.wrapDump)
        buffer_ += ",\"args\":{\"name\":\"wrap dumps\"}";
    else
        fmt::format_to(std::back_inserter(buffer_), ",\"args\":{{\"name\":\"thread {}\"}}", track.threadId);
    End();
}

void ChromeTraceSink::OnTrack(const Track& track, std::string_view) { Name(track); }

void ChromeTraceSink::OnCall(const Track& track, const Call& call) {
    Name(track);
    // A call under a microsecond is a begin and an end event, not a complete
    // one: viewers put complete events of one start longest first, and would
    // end one of no duration before they begin it (speedscope then keeps it
    // open to the end of the profile).
    const bool zeroLength = call.durUs == 0;
    const std::string_view name = routines_.Name(call.routine);
    Begin(zeroLength ? "B" : "X", name, track, call.startUs);
    if (!zeroLength) {
        buffer_ += ",\"dur\":";
        Number(call.durUs);
    }
    CallDetails(call);
    End();
    if (zeroLength) {  // with the same details, by which a viewer pairs the two
        Begin("E", name, track, call.startUs);
        CallDetails(call);
        End();
    }
}

void ChromeTraceSink::CallDetails(const Call& call) {
    buffer_ += ",\"cat\":\"routine\"";
    const char* end = EndName(call.end);
    if (call.hasRc || end != nullptr) {
        buffer_ += ",\"args\":{";
        if (call.hasRc) fmt::format_to(std::back_inserter(buffer_), "\"return code\":{}", call.rc);
        if (end != nullptr) fmt::format_to(std::back_inserter(buffer_), "{}\"end\":\"{}\"", call.hasRc ? "," : "", end);
        buffer_ += '}';
    }
}

void ChromeTraceSink::OnMessage(const Track& track, int64_t us, std::string_view text) {
    if (!options_.messages) return;
    Name(track);
    Begin("i", text.substr(0, kLongestName), track, us);
    buffer_ += ",\"s\":\"t\",\"cat\":\"message\"";
    if (text.size() > kLongestName) {
        buffer_ += ",\"args\":{\"text\":\"";
        AppendJsonString(buffer_, text);
        buffer_ += "\"}";
    }
    End();
}

void ChromeTraceSink::OnMemory(const Track& track, int64_t us, const MemoryFigures& memory) {
    if (!options_.counters) return;
    Name(track);
    Begin("C", "Internal Pool", track, us);
    buffer_ += ",\"args\":{\"bytes\":";
    Number(memory.pool);
    buffer_ += '}';
    End();
    Begin("C", "Process Bytes Allocated", track, us);
    buffer_ += ",\"args\":{\"bytes\":";
    Number(memory.processBytes);
    buffer_ += '}';
    End();
}

void ChromeTraceSink::OnMarker(const Track& track, int64_t us, std::string_view text) {
    Name(track);
    Begin("i", text, track, us);
    buffer_ += ",\"s\":\"p\",\"cat\":\"marker\"";
    End();
}

bool ChromeTraceSink::Close() {
    if (closed_) return !failed_;
    closed_ = true;
    buffer_ += "\n]}\n";
    if (fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size() || fflush(out_) != 0) failed_ = true;
    buffer_.clear();
    return !failed_;
}

}  // namespace zavtrace
