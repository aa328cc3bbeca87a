#include "TraceReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include <fmt/core.h>

#include "TraceFiles.h"
#include "TraceLine.h"

namespace zavtrace {
namespace {

constexpr int64_t kSecondUs = 1000000;
constexpr int64_t kDaySeconds = 86400;
constexpr int kMaxLevel = 1 << 20;  // 4 MiB of indentation
constexpr int64_t kFarthestUs = int64_t(1) << 60;
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
        // Crafted fields keep the time within reach of the arithmetic below.
        now_ = std::clamp(SaturatingAdd(now_, elapsedUs), -kFarthestUs, kFarthestUs);
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
    // A Push line waits for the next line of its stack, which tells a call
    // from a message that merely begins with "Push ": a call's next line is
    // inside it, or a Pop of it or of its callers.
    bool pushPending = false;
    int pushLevel = 0;
    int64_t pushUs = 0;
    std::string pushName, pushText;
};

bool StartsWithBom(std::string_view text) {
    return text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF";
}

// Text a message's line feed left on a line of its own; control characters
// tell damaged bytes apart.
bool PlainText(std::string_view text) {
    for (const char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) return false;
    return true;
}

class FileStream {
public:
    FileStream(ReadSummary& summary, RoutineTable& routines, StackTree* paths,
               EventSink& sink)
        : summary_(summary), routines_(routines), paths_(paths), sink_(sink) {}

    // continuation: the previous file rolled over into this one.
    void ReadFile(const std::string& path, bool continuation) {
        std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path.c_str(), "rb"), fclose);
        if (!file) {
            summary_.missingFiles.push_back(path);
            return;
        }
        ++summary_.files;
        if (!continuation || !main_) StartMain();
        rolledOver_ = false;
        path_ = path;
        lineNo_ = 0;
        recognised_ = 0;
        wide_ = false;
        segmentOpen_ = false;
        expectTitle_ = false;
        Split(file.get());
        EndWrap();
        if (recognised_ == 0 && lineNo_ > 0)
            summary_.notTraces.push_back(wide_ ? path + " (UTF-16 text; a trace is written in bytes)" : path);
    }

    // Whether the file just read ended in a roll-over.
    bool RolledOver() const { return rolledOver_; }
    // Who writes the trace being read (0 before its header line), and the time of day of its last line.
    const Track& Writer() const { return main_->track; }
    int TimeOfDay() const {
        const int64_t seconds = FloorDiv(main_->clock.Now(), kSecondUs);
        return static_cast<int>(seconds - FloorDiv(seconds, kDaySeconds) * kDaySeconds);
    }

    void Finish() {
        EndWrap();
        if (main_) {
            EndSection(*main_);
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
        EndSection(*wrap_);
        wrap_.reset();
    }

    void EndSection(Section& s) {
        // A Push as the last line is a call still open.
        if (s.pushPending) s.tracker.Push(s.track, s.pushLevel, s.pushName, s.pushUs);
        s.pushPending = false;
        FlushMemory(s, s.clock.Now());
        s.tracker.Finish(s.track, s.clock.Now());
    }

    // Settles a waiting Push by the next line of its stack.
    void SettlePush(Section& s, const ParsedLine& next) {
        if (!s.pushPending) return;
        s.pushPending = false;
        const int level = next.indent / 4;
        const bool call = level > s.pushLevel || (next.kind == LineKind::Pop && level < s.pushLevel) ||
                          (next.kind == LineKind::Pop && level == s.pushLevel && next.text == s.pushName);
        if (call)
            s.tracker.Push(s.track, s.pushLevel, s.pushName, s.pushUs);
        else
            sink_.OnMessage(s.track, s.pushUs, s.pushText);
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
        if (lineNo_ == 1 && (text.find('\0') != std::string_view::npos || StartsWithBom(text))) wide_ = true;
        ParsedLine line = ParseLine(text);
        if (line.kind != LineKind::Garbled) ++recognised_;
        if (line.kind == LineKind::Garbled && continues && PlainText(text)) {
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
            if (line.kind != LineKind::Message && line.indent / 4 > kMaxLevel) {
                ++summary_.garbled;
                Example("nested too deep");
                return;
            }
            // A Pop line without its duration is one only for the routine open at its level.
            if (line.badDur) ++summary_.calls.badDurations;
            if (line.kind == LineKind::Pop && !line.hasDur && !line.badDur && !line.text.empty() &&
                !s.tracker.IsOpen(line.indent / 4, line.text))
                line.kind = LineKind::Message;
            if (line.kind == LineKind::Message) line.text = line.message;
            const bool first = !s.clock.Anchored();
            if (s.clock.Advance(line.timeOfDay, line.elapsedUs)) ++summary_.reanchored;
            if (first && wrap_ && !s.datedInside) s.clock.AnchorNotAfter(main_->clock.Now());
            // The first line of a trace object counts its elapsed time from the object's creation.
            if (first && !wrap_) s.tracker.SetEarliest(s.clock.Now() - line.elapsedUs);
            const int64_t us = s.clock.Now();
            uint32_t processId = 0, threadId = 0;
            const bool header = line.kind == LineKind::Message && !line.text.empty() && line.text[0] == 'T' &&
                                ParseHeader(line.text, processId, threadId);
            if (header && !wrap_ && (processId != s.track.processId || threadId != s.track.threadId)) {
                s.track.processId = processId;
                s.track.threadId = threadId;
                sink_.OnTrack(s.track, {});
            }
            FlushMemory(s, us);
            // A rolled-over file's header stands at the indentation of the Push that rolled it over.
            if (!header) SettlePush(s, line);
            if (line.kind == LineKind::Push) {
                s.pushPending = true;
                s.pushLevel = line.indent / 4;
                s.pushUs = us;
                s.pushName.assign(line.text);
                s.pushText.assign(line.message);
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
    uint64_t recognised_ = 0;  // lines of the file in one of the trace's forms
    bool wide_ = false;        // the file starts like UTF-16 text
    bool segmentOpen_ = false;
    bool expectTitle_ = false;
    bool rolledOver_ = false;
};

}  // namespace

ReadSummary TraceReader::Read(const std::vector<std::string>& files) {
    ReadSummary summary;
    FileStream stream(summary, routines_, paths_, sink_);
    const std::vector<std::string> order = TraceFileOrder(files);
    const std::set<std::string> given(order.begin(), order.end());
    std::set<std::string> taken;
    for (const std::string& first : order) {
        if (!taken.insert(first).second) continue;  // read already, as the continuation of another
        std::string path = first;
        stream.ReadFile(path, false);
        // A file that ended in a roll-over goes on in a higher numbered one
        // of the same writer, given or beside it; never in another's.
        while (stream.RolledOver()) {
            const Track& writer = stream.Writer();
            const std::string next =
                FindContinuation(path, writer.processId, writer.threadId, stream.TimeOfDay(), order, taken);
            if (next.empty()) {
                summary.unfollowed.push_back(path);
                break;
            }
            taken.insert(next);
            if (given.count(next) == 0) summary.followedFiles.push_back(next);
            path = next;
            stream.ReadFile(path, true);
        }
    }
    stream.Finish();
    return summary;
}

void PrintWarnings(const ReadSummary& s) {
    for (const std::string& path : s.missingFiles) fmt::print(stderr, "zavtrace: cannot read {}\n", path);
    for (const std::string& path : s.notTraces)
        fmt::print(stderr, "zavtrace: {} is not a trace file: no line of it is in a trace's form\n", path);
    for (const std::string& path : s.unfollowed)
        fmt::print(stderr,
                   "zavtrace: warning: {} ended in a roll-over, but no file beside it goes on with its process "
                   "and thread; the trace is cut there\n",
                   path);
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
                   "zavtrace: warning: {} routine(s) still open at the end of their trace (timed to its last line)\n",
                   c.openAtEnd);
    if (c.cutPops > 0)
        fmt::print(stderr,
                   "zavtrace: warning: {} Pop line(s) timed from a Push that was never traced; cut to the trace "
                   "object's lifetime\n",
                   c.cutPops);
    if (c.badDurations > 0)
        fmt::print(stderr, "zavtrace: warning: {} Pop line(s) with a negative or impossible Dur= value; ignored\n",
                   c.badDurations);
    if (c.barePops > 0) fmt::print(stderr, "zavtrace: warning: {} Pop line(s) without a routine name\n", c.barePops);
    if (c.popsWithoutPush + c.closedWithoutPop + c.openAtEnd > 0)
        for (const std::string& e : c.examples) fmt::print(stderr, "  {}\n", e);
    if (s.reanchored > 0)
        fmt::print(stderr, "zavtrace: warning: time of day and elapsed times disagreed {} time(s); re-anchored\n",
                   s.reanchored);
}

}  // namespace zavtrace
