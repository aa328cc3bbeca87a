// Scratch folders, traces written by hand or through the library, and all
// the reader makes of them, for the zavtrace tests.
#pragma once

#include <spawn.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#define ZAVUTIL1_WIN32_NAMES  // LONG, DWORD as a Win32 host names them
#include <ZAVUtil1/ZAVUtil1.h>

#include "ChromeNesting.h"
#include "Profile.h"
#include "Views.h"

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/zavtracetestXXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(path_ + "/" + name, std::ios::binary) << content;
        return path_ + "/" + name;
    }
    // In no particular order: the reader puts them in theirs.
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) files.push_back(entry.path().string());
        std::shuffle(files.begin(), files.end(), std::mt19937(3));
        return files;
    }

private:
    std::string path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Hand-written trace text: lines ended with CR LF, a date line, and a
// message line as the trace composes it (level -1 for no indentation).
inline std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}
inline std::string DateLine(const std::string& date) { return "Date=" + date + std::string(80, '='); }
inline std::string At(const std::string& time, std::string elapsed, int level, const std::string& text) {
    if (elapsed.size() < 8) elapsed.insert(0, 8 - elapsed.size(), ' ');
    return time + "  " + elapsed + " " + std::string(4 * (level + 1), ' ') + text;
}

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A host's routine calls with known nesting, sleeps and return codes:
// Host.Run (rc 0) sleeps `run`, then Work.Load x3 (rc 0, 5, 0) each sleeping
// `load` around Work.Parse (rc 0); Work.Save (no return code); Work.Fail
// (rc 87) popped with Work.Inner still open.
constexpr LONG kNoCode = 0x7FFFFFFF;
inline void RunScenario(ZAVDebug& trace, int run = 0, int load = 0) {
    const LONG top = trace.RoutinePush(ZAV_WIDE("Host"), ZAV_WIDE("Run"), nullptr, 1);
    trace.InsertMsg(ZAV_WIDE("starting"));
    SleepMs(run);
    for (int i = 0; i < 3; ++i) {
        const LONG level = trace.RoutinePushReq(ZAV_WIDE("Work"), ZAV_WIDE("Load"), i, -2);
        SleepMs(load);
        trace.RoutinePop(trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Parse"), ZAV_WIDE("text"), -2), 0);
        trace.RoutinePop(level, i == 1 ? 5 : 0);
    }
    trace.RoutinePop(trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Save"), nullptr, -2), kNoCode);
    const LONG fail = trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Fail"), nullptr, -2);
    trace.RoutinePush(ZAV_WIDE("Work"), ZAV_WIDE("Inner"), nullptr, -2);
    trace.RoutinePop(fail, 87);
    trace.InsertMsg(ZAV_WIDE("done"));
    trace.RoutinePop(top, 0);
}

inline void Start(ZAVDebug& trace, const std::string& base, DWORD wrap = 0) {
    std::u16string name(base.begin(), base.end());
    trace.TraceStart(name.data(), wrap);
}
// A trace of base name `base` that `body` writes through the library; its first file.
template <typename Body>
std::string WriteTrace(const std::string& base, Body body, DWORD limit = 0, DWORD wrap = 0) {
    ZAVDebug trace;
    Start(trace, base, wrap);
    if (limit != 0) trace.MaxLogSize(limit);
    body(trace);
    return base + ".log";
}

extern char** environ;
// A program started with these arguments; -1 when it could not be.
inline pid_t Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Everything the reader reports: the events, a profile and the summary.
struct ReadResult : zavtrace::EventSink {
    zavtrace::RoutineTable routines;
    zavtrace::ProfileSink profile;
    zavtrace::ReadSummary summary;
    std::vector<zavtrace::Call> calls;
    std::vector<zavtrace::Track> tracks;  // of each call
    std::vector<std::pair<int64_t, std::string>> messages;
    std::vector<std::string> markers;
    std::vector<std::pair<int64_t, zavtrace::MemoryFigures>> memory;
    std::vector<zavtrace::ProfileRow> rows;

    void OnCall(const zavtrace::Track& t, const zavtrace::Call& c) override { calls.push_back(c), tracks.push_back(t); }
    void OnMessage(const zavtrace::Track&, int64_t us, std::string_view s) override { messages.emplace_back(us, s); }
    void OnMemory(const zavtrace::Track&, int64_t us, const zavtrace::MemoryFigures& m) override {
        memory.emplace_back(us, m);
    }
    void OnMarker(const zavtrace::Track&, int64_t, std::string_view s) override { markers.emplace_back(s); }
    std::string Name(const zavtrace::Call& c) const { return routines.Name(c.routine); }
    // Made once: rows handed out earlier stay where they are.
    const zavtrace::ProfileRow* Row(const std::string& name) {
        if (rows.empty()) rows = profile.Rows(routines);
        for (const auto& r : rows)
            if (r.name == name) return &r;
        return nullptr;
    }
    // Whatever the trace, its timeline nests (`keep`: see ChromeOf).
    ReadResult(const std::vector<std::string>& files, bool keep = true) {
        zavtrace::TeeSink both(*this, profile);
        summary = zavtrace::TraceReader(routines, both, nullptr).Read(files);
        EXPECT_EQ(NestingViolations(ChromeOf(files, keep)), std::vector<std::string>{});
    }
};
