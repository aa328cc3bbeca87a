#include "CallModel.h"

#include <algorithm>

namespace zavtrace {

uint32_t RoutineTable::Intern(std::string_view name) {
    auto found = ids_.find(name);
    if (found != ids_.end()) return found->second;
    names_.emplace_back(name);
    const uint32_t id = static_cast<uint32_t>(names_.size() - 1);
    ids_.emplace(names_.back(), id);
    return id;
}

uint32_t StackTree::Child(uint32_t parent, uint32_t routine) {
    const uint64_t key = (static_cast<uint64_t>(parent) << 32) | routine;
    auto found = children_.find(key);
    if (found != children_.end()) return found->second;
    if (nodes_.size() >= kMaxNodes) {
        ++overflow_;
        return parent;
    }
    nodes_.push_back({parent, routine, 0, 0});
    const uint32_t id = static_cast<uint32_t>(nodes_.size() - 1);
    children_.emplace(key, id);
    return id;
}

namespace {

// A Dur= value longer than this (about 30 years) is not a duration.
constexpr int64_t kLongestDurationUs = int64_t(1) << 50;

}  // namespace

void CallTracker::Floors::Set(int level, int64_t us) {
    while (!steps_.empty() && steps_.back().first >= level) steps_.pop_back();
    if (steps_.empty() || steps_.back().second < us) steps_.emplace_back(level, us);
}

int64_t CallTracker::Floors::At(int level) const {
    auto above = std::upper_bound(steps_.begin(), steps_.end(), level,
                                  [](int l, const std::pair<int, int64_t>& step) { return l < step.first; });
    return above == steps_.begin() ? INT64_MIN : std::prev(above)->second;
}

uint32_t StackTree::Find(uint32_t parent, uint32_t routine) const {
    auto found = children_.find((static_cast<uint64_t>(parent) << 32) | routine);
    return found == children_.end() ? 0 : found->second;
}

CallTracker::Frame& CallTracker::At(int level) {
    if (static_cast<size_t>(level) >= frames_.size()) frames_.resize(level + 1);
    return frames_[level];
}

uint32_t CallTracker::ParentNode(int level) const {
    if (paths_ == nullptr) return 0;
    for (int i = std::min(level, static_cast<int>(frames_.size())) - 1; i >= 0; --i)
        if (frames_[i].open) return frames_[i].node;
    return 0;
}

void CallTracker::Note(const char* what, uint32_t routine) {
    if (anomalies_.examples.size() < 8) anomalies_.examples.push_back(std::string(what) + " " + routines_.Name(routine));
}

bool CallTracker::IsOpen(int level, std::string_view name) const {
    return static_cast<size_t>(level) < frames_.size() && frames_[level].open &&
           routines_.Name(frames_[level].routine) == name;
}

void CallTracker::Emit(const Track& track, int level, uint32_t routine, uint32_t node, int64_t startUs,
                       int64_t endUs, bool hasRc, int32_t rc, CallEnd end) {
    Frame& frame = At(level);
    if (frame.open) --openCalls_[frame.routine];
    const int64_t durUs = endUs - startUs;
    const int64_t selfUs = std::max<int64_t>(0, durUs - frame.childUs);
    frame = Frame{};
    if (level > 0) {
        Frame& caller = At(level - 1);
        caller.childUs = SaturatingAdd(caller.childUs, durUs);
        caller.firstChildUs = std::min(caller.firstChildUs, startUs);
    }
    floors_.Set(level, endUs);
    if (paths_ != nullptr) paths_->Nodes()[node].selfUs = SaturatingAdd(paths_->Nodes()[node].selfUs, selfUs);
    const bool recursive = routine < openCalls_.size() && openCalls_[routine] > 0;
    sink_.OnCall(track, Call{routine, level, startUs, durUs, selfUs, hasRc, rc, end, node, recursive});
}

void CallTracker::CloseAbove(const Track& track, int level, int64_t us, CallEnd end) {
    for (int i = std::min(high_, static_cast<int>(frames_.size()) - 1); i > level; --i) {
        Frame& frame = frames_[i];
        if (frame.open) {
            if (end == CallEnd::ClosedWithoutPop) {
                ++anomalies_.closedWithoutPop;
                Note("ended without its Pop:", frame.routine);
            } else {
                ++anomalies_.openAtEnd;
                Note("still open at the end:", frame.routine);
            }
            Emit(track, i, frame.routine, frame.node, frame.startUs, us, false, 0, end);
        } else {
            // A level whose Push was never traced: its callees lie inside the call below it.
            if (i > 0) {
                Frame& caller = frames_[i - 1];
                caller.childUs = SaturatingAdd(caller.childUs, frame.childUs);
                caller.firstChildUs = std::min(caller.firstChildUs, frame.firstChildUs);
            }
            frame.childUs = 0;
            frame.firstChildUs = INT64_MAX;
        }
    }
    high_ = std::min(high_, std::max(level, -1));
}

void CallTracker::Push(const Track& track, int level, std::string_view name, int64_t us) {
    us = Now(us);
    // Whatever is still open at this level or deeper was left without a Pop.
    CloseAbove(track, level - 1, us, CallEnd::ClosedWithoutPop);
    const uint32_t routine = routines_.Intern(name);
    const uint32_t node = paths_ != nullptr ? paths_->Child(ParentNode(level), routine) : 0;
    At(level) = Frame{true, routine, node, us, 0};
    if (routine >= openCalls_.size()) openCalls_.resize(routine + 1);
    ++openCalls_[routine];
    floors_.Set(level + 1, us);
    high_ = std::max(high_, level);
}

void CallTracker::Pop(const Track& track, int level, std::string_view name, bool hasDur, int64_t durUs,
                      bool hasRc, int32_t rc, int64_t us) {
    if (name.empty()) {
        ++anomalies_.barePops;
        return;
    }
    us = Now(us);
    if (hasDur && (durUs < 0 || durUs > kLongestDurationUs)) {
        ++anomalies_.badDurations;
        hasDur = false;
    }
    // Deeper routines left without their own Pop (the library pops them with this one).
    CloseAbove(track, level, us, CallEnd::ClosedWithoutPop);
    const uint32_t routine = routines_.Intern(name);
    high_ = std::max(high_, level);
    Frame& frame = At(level);
    if (frame.open && frame.routine == routine) {
        // From its Push line to its Pop line: the Dur= value was taken at
        // other instants and would let a callee stick out of its caller.
        Emit(track, level, routine, frame.node, frame.startUs, us, hasRc, rc, CallEnd::Popped);
        return;
    }
    if (frame.open) CloseAbove(track, level - 1, us, CallEnd::ClosedWithoutPop);
    ++anomalies_.popsWithoutPush;
    Note("Pop without Push:", routine);
    // Without its Push only the Pop line's own duration tells the time.
    int64_t start = us - (hasDur ? durUs : 0);
    // A level whose Push was never traced is timed from 0: its duration
    // is the timer's whole count and reaches back before the object existed.
    if (start < earliestUs_) {
        start = std::min(earliestUs_, us);
        ++anomalies_.cutPops;
    }
    // Not before what ended at its level or above, and around its callees.
    start = std::min({std::max(start, floors_.At(level)), At(level).firstChildUs, us});
    const uint32_t node = paths_ != nullptr ? paths_->Child(ParentNode(level), routine) : 0;
    Emit(track, level, routine, node, start, us, hasRc, rc, CallEnd::PopWithoutPush);
}

void CallTracker::Finish(const Track& track, int64_t us) {
    CloseAbove(track, -1, Now(us), CallEnd::OpenAtEnd);
    frames_.clear();
    floors_.Clear();
    high_ = -1;
}

}  // namespace zavtrace
