// What the reader makes of a trace: routine calls rebuilt from the Push and
// Pop lines of one routine stack, and the events every output form consumes.
// State is bounded by the routine depth, the distinct routines and (only
// when asked for) the distinct call paths.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zavtrace {

// Sums of durations that crafted input cannot overflow.
inline int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t sum;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

// Routine names ("Owner.Routine") interned as small ids.
class RoutineTable {
public:
    uint32_t Intern(std::string_view name);
    const std::string& Name(uint32_t id) const { return names_[id]; }
    size_t Size() const { return names_.size(); }

private:
    std::deque<std::string> names_;  // stable addresses for the keys below
    std::unordered_map<std::string_view, uint32_t> ids_;
};

// Distinct call paths as a tree; node 0 is the root above every outermost call.
// Past kMaxNodes paths, a call on a new path counts on its caller's path.
class StackTree {
public:
    static constexpr size_t kMaxNodes = 250000;
    struct Node {
        uint32_t parent;
        uint32_t routine;
        int64_t selfUs;
        uint64_t calls;
    };
    StackTree() { nodes_.push_back({0, 0, 0, 0}); }
    uint32_t Child(uint32_t parent, uint32_t routine);
    // The child, without making it; 0 when there is none.
    uint32_t Find(uint32_t parent, uint32_t routine) const;
    std::vector<Node>& Nodes() { return nodes_; }
    const std::vector<Node>& Nodes() const { return nodes_; }
    uint64_t Overflow() const { return overflow_; }

private:
    std::vector<Node> nodes_;
    std::unordered_map<uint64_t, uint32_t> children_;
    uint64_t overflow_ = 0;
};

// How a call's end was found.
enum class CallEnd {
    Popped,           // its own Pop line
    PopWithoutPush,   // a Pop line whose Push came before the trace (or the saved lines) began
    ClosedWithoutPop, // an outer Pop or a new Push at its level ended it without a Pop line
    OpenAtEnd,        // still open when its trace ended (process killed, or traced no further)
};

// Where lines come from: a trace object's file lines, or the saved lines of
// one of its wrap dumps.
struct Track {
    uint32_t processId = 0;
    uint32_t threadId = 0;
    bool wrapDump = false;
};

struct Call {
    uint32_t routine;
    int level;
    int64_t startUs;  // absolute, microseconds since 1970 in the trace's local time
    int64_t durUs;
    int64_t selfUs;
    bool hasRc;
    int32_t rc;
    CallEnd end;
    uint32_t node;     // StackTree node; 0 when paths are not kept
    bool recursive;    // inside another call of the same routine: its time is in that call's total already
};

struct MemoryFigures {
    int64_t pool, poolChange, processBytes, processChange;
};

class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void OnTrack(const Track&, std::string_view title) {}
    virtual void OnCall(const Track&, const Call&) {}
    virtual void OnMessage(const Track&, int64_t us, std::string_view text) {}
    virtual void OnMemory(const Track&, int64_t us, const MemoryFigures&) {}
    // Roll-overs and the wrap markers.
    virtual void OnMarker(const Track&, int64_t us, std::string_view text) {}
};

// Counts of what did not fit the rules, for the warning summary.
struct CallAnomalies {
    uint64_t popsWithoutPush = 0;
    uint64_t closedWithoutPop = 0;
    uint64_t openAtEnd = 0;
    uint64_t barePops = 0;  // "Pop  " alone: a second pop of a level already left
    uint64_t cutPops = 0;   // Pops measured from a level never traced, cut to the trace object's life
    uint64_t badDurations = 0;  // Dur= values below zero or beyond any trace's life, not believed
    std::vector<std::string> examples;
};

// One routine stack (one trace object, or one wrap dump's saved lines).
// Frames are kept per level, as the trace writes them: a level's frame may be
// empty when its routine was not traced or was pushed before the lines began.
class CallTracker {
public:
    CallTracker(RoutineTable& routines, StackTree* paths, EventSink& sink, CallAnomalies& anomalies)
        : routines_(routines), paths_(paths), sink_(sink), anomalies_(anomalies) {}

    void Push(const Track& track, int level, std::string_view name, int64_t us);
    void Pop(const Track& track, int level, std::string_view name, bool hasDur, int64_t durUs, bool hasRc,
             int32_t rc, int64_t us);
    // No call of this stack began before us (the trace object's creation).
    void SetEarliest(int64_t us) { earliestUs_ = us; }
    // The trace ended: every open frame is reported as open at the end.
    void Finish(const Track& track, int64_t us);
    // Whether the frame at level is open in the named routine.
    bool IsOpen(int level, std::string_view name) const;

private:
    struct Frame {
        bool open = false;
        uint32_t routine = 0;
        uint32_t node = 0;
        int64_t startUs = 0;
        int64_t childUs = 0;  // time of finished callees (also of callees whose caller's Push was never seen)
        int64_t firstChildUs = INT64_MAX;  // the earliest start of those callees
    };
    // The earliest time a call at a level may start without overlapping one
    // already reported: an event at a level bounds every deeper level too.
    // Kept as the steps of a staircase rising with level and time.
    class Floors {
    public:
        void Set(int level, int64_t us);
        int64_t At(int level) const;
        void Clear() { steps_.clear(); }

    private:
        std::vector<std::pair<int, int64_t>> steps_;
    };
    Frame& At(int level);
    uint32_t ParentNode(int level) const;
    void CloseAbove(const Track& track, int level, int64_t us, CallEnd end);
    void Emit(const Track& track, int level, uint32_t routine, uint32_t node, int64_t startUs, int64_t endUs,
              bool hasRc, int32_t rc, CallEnd end);
    // Line times made monotonic, so that callees always lie inside their callers.
    int64_t Now(int64_t us) { return now_ = std::max(now_, us); }
    void Note(const char* what, uint32_t routine);

    RoutineTable& routines_;
    StackTree* paths_;
    EventSink& sink_;
    CallAnomalies& anomalies_;
    std::vector<Frame> frames_;
    Floors floors_;
    std::vector<uint32_t> openCalls_;  // by routine: its open frames
    int64_t now_ = INT64_MIN;
    int64_t earliestUs_ = INT64_MIN;
    int high_ = -1;  // no frame above this level is open or holds callee time
};

}  // namespace zavtrace
