#include "TraceReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <filesystem>
#include <set>
#include <system_error>

#include <fmt/core.h>

#include "TraceLine.h"

namespace zavtrace {
namespace {

constexpr int64_t kSecondUs = 1000000;
constexpr int64_t kDaySeconds = 86400;
constexpr int kMaxLevel = 4096;
constexpr size_t kChunk = size_t(1) << 20;
constexpr size_t kLongestLine = size_t(64) << 20;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Absolute time of one trace object's lines: anchored at the first line's
// time of day, then advanced by each line's elapsed field, which keeps the
// microseconds that the time of day lacks and carries across midnight.
class Clock {
public:
    void SetDay(int64_t day) { day_ = day; }
    int64_t Day() const { return day_; }
    bool Anchored() const { return anchored_; }
    int64_t Now() const { return now_; }

    // The time of a message line; true when it had to be re-anchored.
    bool Advance(int timeOfDay, int64_t elapsedUs) {
        if (!anchored_) {
            now_ = (day_ * kDaySeconds + timeOfDay) * kSecondUs;
            anchored_ = true;
            return false;
        }
        now_ += elapsedUs;
        // The shown second is that of the true time, which lies within one
        // second after the sum; a larger gap means lines are missing.
        const int64_t nowSeconds = FloorDiv(now_, kSecondUs);
        int64_t shown = FloorDiv(nowSeconds, kDaySeconds) * kDaySeconds + timeOfDay;
        if (shown - nowSeconds > kDaySeconds / 2) shown -= kDaySeconds;
        if (nowSeconds - shown > kDaySeconds / 2) shown += kDaySeconds;
        if (shown - nowSeconds > 2 || nowSeconds - shown > 2) {
            now_ = shown * kSecondUs;
            return true;
        }
        return false;
    }
    // Anchors at the first line of a wrap dump, which cannot be later than the dump.
    void AnchorNotAfter(int64_t latestUs) {
        if (anchored_ && now_ > latestUs + kSecondUs) now_ -= kDaySeconds * kSecondUs;
    }

private:
    int64_t day_ = 0;
    int64_t now_ = 0;
    bool anchored_ = false;
};

// The lines of one routine stack: a trace object's file lines, or one wrap dump.
struct Section {
    Section(RoutineTable& routines, StackTree* paths, EventSink& sink, CallAnomalies& anomalies)
        : tracker(routines, paths, sink, anomalies) {}
    Track track;
    Clock clock;
    CallTracker tracker;
    bool memoryPending = false;
    MemoryFigures memory{};
    bool datedInside = false;  // wrap dumps: a saved date line came before the first message
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

class FileStream {
public:
    FileStream(ReadSummary& summary, RoutineTable& routines, StackTree* paths,
               EventSink& sink)
        : summary_(summary), routines_(routines), paths_(paths), sink_(sink) {}

    // Continues the current trace when the previous file rolled over into this one.
    void ReadFile(const std::string& path) {
        std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path.c_str(), "rb"), fclose);
        if (!file) {
            summary_.missingFiles.push_back(path);
            return;
        }
        ++summary_.files;
        if (!rolledOver_ || !main_) StartMain();
        rolledOver_ = false;
        path_ = path;
        lineNo_ = 0;
        segmentOpen_ = false;
        expectTitle_ = false;
        Split(file.get());
        EndWrap();
    }

    // Whether the file just read ended in a roll-over.
    bool RolledOver() const { return rolledOver_; }
    // The process of the trace being read; 0 before its header line.
    uint32_t ProcessId() const { return main_ ? main_->track.processId : 0; }

    void Finish() {
        EndWrap();
        if (main_) {
            FlushMemory(*main_, main_->clock.Now());
            main_->tracker.Finish(main_->track, main_->clock.Now());
        }
        main_.reset();
    }

private:
    void StartMain() {
        Finish();
        main_ = std::make_unique<Section>(routines_, paths_, sink_, summary_.calls);
    }

    void EndWrap() {
        if (!wrap_) return;
        FlushMemory(*wrap_, wrap_->clock.Now());
        wrap_->tracker.Finish(wrap_->track, wrap_->clock.Now());
        wrap_.reset();
    }

    void Split(FILE* file) {
        buffer_.resize(kChunk);
        size_t filled = 0;
        bool skipping = false;  // the rest of a line too long to keep
        for (;;) {
            const size_t got = fread(buffer_.data() + filled, 1, buffer_.size() - filled, file);
            summary_.bytes += got;
            filled += got;
            const char* base = buffer_.data();
            size_t pos = 0;
            while (pos < filled) {
                const char* newline = static_cast<const char*>(memchr(base + pos, '\n', filled - pos));
                if (newline == nullptr) break;
                size_t length = newline - (base + pos);
                if (skipping) {
                    skipping = false;
                } else {
                    const bool cr = length > 0 && base[pos + length - 1] == '\r';
                    Segment(std::string_view(base + pos, cr ? length - 1 : length), cr);
                }
                pos += length + 1;
            }
            if (got == 0) {
                if (pos < filled && !skipping) {
                    ++lineNo_;
                    ++summary_.torn;
                    Example("torn last line");
                }
                return;
            }
            memmove(buffer_.data(), base + pos, filled - pos);
            filled -= pos;
            if (filled == buffer_.size()) {
                if (buffer_.size() < kLongestLine) {
                    buffer_.resize(buffer_.size() * 2);
                } else {
                    ++lineNo_;
                    ++summary_.garbled;
                    Example("line too long");
                    filled = 0;
                    skipping = true;
                }
            }
        }
    }

    void Example(const char* what) {
        if (summary_.garbledExamples.size() < 5)
            summary_.garbledExamples.push_back(fmt::format("{}:{}: {}", path_, lineNo_, what));
    }

    // One piece of text between line feeds; cr tells whether it ended a line.
    void Segment(std::string_view text, bool cr) {
        ++lineNo_;
        ++summary_.lines;
        const bool continues = segmentOpen_;
        segmentOpen_ = !cr;
        ParsedLine line = ParseLine(text);
        if (line.kind == LineKind::Garbled && continues) {
            ++summary_.continuations;  // the rest of a text that held a line feed
            return;
        }
        Line(line);
    }

    void FlushMemory(Section& s, int64_t us) {
        if (!s.memoryPending) return;
        s.memoryPending = false;
        sink_.OnMemory(s.track, us, s.memory);
    }

    void Line(ParsedLine& line) {
        const bool title = expectTitle_;
        expectTitle_ = false;
        Section& s = wrap_ ? *wrap_ : *main_;
        switch (line.kind) {
        case LineKind::Date:
            s.clock.SetDay(line.day);
            if (!s.clock.Anchored()) s.datedInside = true;
            return;
        case LineKind::Memory:
            // Written by the same call as the message line after it, so it takes that line's time.
            FlushMemory(s, s.clock.Now());
            s.memoryPending = true;
            s.memory = MemoryFigures{line.pool, line.poolChange, line.processBytes, line.processChange};
            return;
        case LineKind::Message:
        case LineKind::Push:
        case LineKind::Pop: {
            if (line.kind != LineKind::Message && line.indent / 4 > kMaxLevel) break;
            const bool first = !s.clock.Anchored();
            if (s.clock.Advance(line.timeOfDay, line.elapsedUs)) ++summary_.reanchored;
            if (first && wrap_ && !s.datedInside) s.clock.AnchorNotAfter(main_->clock.Now());
            // The first line of a trace object counts its elapsed time from the object's creation.
            if (first && !wrap_) s.tracker.SetEarliest(s.clock.Now() - line.elapsedUs);
            const int64_t us = s.clock.Now();
            uint32_t processId = 0, threadId = 0;
            if (line.kind == LineKind::Message && !wrap_ && !line.text.empty() && line.text[0] == 'T' &&
                ParseHeader(line.text, processId, threadId) &&
                (processId != s.track.processId || threadId != s.track.threadId)) {
                s.track.processId = processId;
                s.track.threadId = threadId;
                sink_.OnTrack(s.track, {});
            }
            FlushMemory(s, us);
            if (line.kind == LineKind::Push) {
                s.tracker.Push(s.track, line.indent / 4, line.text, us);
            } else if (line.kind == LineKind::Pop) {
                s.tracker.Pop(s.track, line.indent / 4, line.text, line.hasDur, line.durUs, line.hasRc, line.rc, us);
            } else {
                sink_.OnMessage(s.track, us, line.text);
            }
            return;
        }
        case LineKind::RollOver:
            sink_.OnMarker(s.track, s.clock.Now(), "Trace closed and re-opened due to trace size");
            rolledOver_ = true;
            return;
        case LineKind::WrapBegin:
            if (wrap_) break;
            wrap_ = std::make_unique<Section>(routines_, paths_, sink_, summary_.calls);
            wrap_->track = Track{main_->track.processId, main_->track.threadId, true};
            wrap_->clock.SetDay(main_->clock.Day());
            expectTitle_ = true;
            sink_.OnTrack(wrap_->track, "wrap dumps");
            sink_.OnMarker(wrap_->track, main_->clock.Now(), "Wrap trace of saved events");
            return;
        case LineKind::WrapEnd:
            if (!wrap_) break;
            sink_.OnMarker(wrap_->track, wrap_->clock.Anchored() ? wrap_->clock.Now() : main_->clock.Now(),
                           "End of wrap trace");
            EndWrap();
            return;
        case LineKind::Garbled:
            break;
        }
        if (title && line.kind == LineKind::Garbled) {
            // The title given to the dump: the one free-form line.
            sink_.OnMarker(wrap_->track, main_->clock.Now(), line.text);
            return;
        }
        ++summary_.garbled;
        Example("not a trace line");
    }

    ReadSummary& summary_;
    RoutineTable& routines_;
    StackTree* paths_;
    EventSink& sink_;
    std::vector<char> buffer_;
    std::unique_ptr<Section> main_, wrap_;
    std::string path_;
    uint64_t lineNo_ = 0;
    bool segmentOpen_ = false;
    bool expectTitle_ = false;
    bool rolledOver_ = false;
};

}  // namespace

namespace {

// A trace file's name as its base (the path up to the counter) and its
// counter: -1 for the unnumbered first file, or for a name that is not a
// trace file's.
struct NumberedName {
    std::string base;
    long long number = -1;
};

NumberedName SplitNumbered(const std::string& path) {
    NumberedName name{path, -1};
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (path.size() - nameStart <= 4 || Lower(path.substr(path.size() - 4)) != ".log") return name;
    size_t digits = path.size() - 4;
    while (digits > nameStart && path[digits - 1] >= '0' && path[digits - 1] <= '9') --digits;
    const size_t count = path.size() - 4 - digits;
    if (count > 9) return name;  // too many digits for a counter: a name of its own
    name.base = path.substr(0, digits);
    if (count > 0) name.number = std::stoll(path.substr(digits, count));
    return name;
}

// The process id in a trace file's header line, 0 when none is found in its
// first lines.
uint32_t HeaderProcessId(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path.c_str(), "rb"), fclose);
    if (!file) return 0;
    char head[4096];
    const size_t got = fread(head, 1, sizeof head, file.get());
    std::string_view rest(head, got);
    for (int line = 0; line < 4 && !rest.empty(); ++line) {
        const size_t end = rest.find('\n');
        std::string_view text = rest.substr(0, end);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        const ParsedLine parsed = ParseLine(text);
        uint32_t processId = 0, threadId = 0;
        if (parsed.kind == LineKind::Message && ParseHeader(parsed.text, processId, threadId)) return processId;
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return 0;
}

// The file a roll-over of `path` went on in, when it was not given: of the
// same base in the same folder, the lowest higher counter whose header names
// the same process (a name taken by another trace was skipped at the time).
std::string NextRolledFile(const std::string& path, uint32_t processId, const std::set<std::string>& known) {
    const NumberedName current = SplitNumbered(path);
    if (current.base == path) return {};
    const size_t slash = current.base.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : current.base.substr(0, slash + 1);
    std::map<long long, std::string> candidates;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string candidate = entry.path().string();
        if (slash == std::string::npos && candidate.compare(0, 2, "./") == 0) candidate.erase(0, 2);
        const NumberedName name = SplitNumbered(candidate);
        if (name.base == current.base && name.number > current.number && known.count(candidate) == 0)
            candidates.emplace(name.number, candidate);
    }
    for (const auto& [number, candidate] : candidates)
        if (processId == 0 || HeaderProcessId(candidate) == processId) return candidate;
    return {};
}

}  // namespace

std::vector<std::string> TraceFileOrder(const std::vector<std::string>& files) {
    struct Numbered {
        long long number;
        std::string path;
        bool operator<(const Numbered& o) const { return number != o.number ? number < o.number : path < o.path; }
    };
    std::vector<std::string> keys;
    std::map<std::string, std::set<Numbered>> groups;
    for (const std::string& path : files) {
        const NumberedName name = SplitNumbered(path);
        if (groups.find(name.base) == groups.end()) keys.push_back(name.base);
        groups[name.base].insert({name.number, path});
    }
    std::vector<std::string> order;
    for (const std::string& key : keys)
        for (const Numbered& n : groups[key]) order.push_back(n.path);
    return order;
}

ReadSummary TraceReader::Read(const std::vector<std::string>& files) {
    ReadSummary summary;
    FileStream stream(summary, routines_, paths_, sink_);
    const std::vector<std::string> order = TraceFileOrder(files);
    std::set<std::string> known(order.begin(), order.end());
    for (size_t i = 0; i < order.size(); ++i) {
        std::string path = order[i];
        stream.ReadFile(path);
        // A file that ended in a roll-over goes on in the next numbered one;
        // when that was not given, it is looked for beside it.
        while (stream.RolledOver()) {
            const std::string next = i + 1 < order.size() ? order[i + 1] : std::string();
            const NumberedName here = SplitNumbered(path);
            if (!next.empty() && SplitNumbered(next).base == here.base) break;
            path = NextRolledFile(path, stream.ProcessId(), known);
            if (path.empty()) break;
            known.insert(path);
            summary.followedFiles.push_back(path);
            stream.ReadFile(path);
        }
    }
    stream.Finish();
    return summary;
}

void PrintWarnings(const ReadSummary& s) {
    for (const std::string& path : s.missingFiles) fmt::print(stderr, "zavtrace: cannot read {}\n", path);
    for (const std::string& path : s.followedFiles)
        fmt::print(stderr, "zavtrace: also read {}, where the trace went on after a roll-over\n", path);
    if (s.garbled + s.torn > 0) {
        fmt::print(stderr, "zavtrace: warning: skipped {} garbled and {} torn line(s)\n", s.garbled, s.torn);
        for (const std::string& e : s.garbledExamples) fmt::print(stderr, "  {}\n", e);
    }
    const CallAnomalies& c = s.calls;
    if (c.popsWithoutPush > 0)
        fmt::print(stderr,
                   "zavtrace: warning: {} Pop line(s) without their Push (the trace began inside the routine); "
                   "timed by their own duration\n",
                   c.popsWithoutPush);
    if (c.closedWithoutPop > 0)
        fmt::print(stderr, "zavtrace: warning: {} routine(s) ended without their Pop line (left by an outer Pop)\n",
                   c.closedWithoutPop);
    if (c.openAtEnd > 0)
        fmt::print(stderr,
                   "zavtrace: warning: {} routine(s) still open at the end of their trace (not in the profile)\n",
                   c.openAtEnd);
    if (c.cutPops > 0)
        fmt::print(stderr,
                   "zavtrace: warning: {} Pop line(s) timed from a Push that was never traced; cut to the trace "
                   "object's lifetime\n",
                   c.cutPops);
    if (c.barePops > 0) fmt::print(stderr, "zavtrace: warning: {} Pop line(s) without a routine name\n", c.barePops);
    if (c.popsWithoutPush + c.closedWithoutPop + c.openAtEnd > 0)
        for (const std::string& e : c.examples) fmt::print(stderr, "  {}\n", e);
    if (s.reanchored > 0)
        fmt::print(stderr, "zavtrace: warning: time of day and elapsed times disagreed {} time(s); re-anchored\n",
                   s.reanchored);
}

}  // namespace zavtrace
