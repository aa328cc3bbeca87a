// Scratch directories and trace files written by hand for the reader tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CallModel.h"
#include "ChromeNesting.h"
#include "Profile.h"
#include "TraceFiles.h"
#include "TraceReader.h"

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/zavtracetestXXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string Write(const std::string& name, const std::string& content) const {
        const std::string full = path_ + "/" + name;
        std::ofstream(full, std::ios::binary) << content;
        return full;
    }

private:
    std::string path_;
};

// Lines joined with CR LF, each line ended.
inline std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

inline std::string DateLine(const std::string& date) { return "Date=" + date + std::string(80, '='); }

// A message line as the trace composes it.
inline std::string At(const std::string& time, const std::string& elapsed, int level, const std::string& text) {
    std::string field = elapsed;
    if (field.size() < 8) field = std::string(8 - field.size(), ' ') + field;
    return time + "  " + field + " " + std::string(4 * (level + 1), ' ') + text;
}

// Everything the reader reports, collected.
struct Collected : zavtrace::EventSink {
    std::vector<zavtrace::Call> calls;
    std::vector<std::pair<int64_t, std::string>> messages;
    std::vector<std::pair<int64_t, zavtrace::MemoryFigures>> memory;
    std::vector<std::string> markers;
    std::vector<zavtrace::Track> callTracks;
    void OnCall(const zavtrace::Track& t, const zavtrace::Call& c) override {
        calls.push_back(c);
        callTracks.push_back(t);
    }
    void OnMessage(const zavtrace::Track&, int64_t us, std::string_view text) override {
        messages.emplace_back(us, std::string(text));
    }
    void OnMemory(const zavtrace::Track&, int64_t us, const zavtrace::MemoryFigures& m) override {
        memory.emplace_back(us, m);
    }
    void OnMarker(const zavtrace::Track&, int64_t, std::string_view text) override { markers.emplace_back(text); }
};

struct ReadResult {
    zavtrace::RoutineTable routines;
    Collected events;
    zavtrace::ProfileSink profile;
    zavtrace::ReadSummary summary;
    std::string Name(const zavtrace::Call& c) const { return routines.Name(c.routine); }
    const zavtrace::ProfileRow* Row(const std::string& name) {
        // Once: the rows handed out earlier must stay where they are.
        if (rows.empty()) rows = profile.Rows(routines);
        for (const auto& r : rows)
            if (r.name == name) return &r;
        return nullptr;
    }
    std::vector<zavtrace::ProfileRow> rows;
};

// Reads files into both a collector and a profile.
inline void ReadInto(ReadResult& r, const std::vector<std::string>& files, bool keepChrome = true) {
    struct Both : zavtrace::EventSink {
        Both(zavtrace::EventSink& a, zavtrace::EventSink& b) : a(a), b(b) {}
        zavtrace::EventSink& a;
        zavtrace::EventSink& b;
        void OnTrack(const zavtrace::Track& t, std::string_view s) override { a.OnTrack(t, s), b.OnTrack(t, s); }
        void OnCall(const zavtrace::Track& t, const zavtrace::Call& c) override { a.OnCall(t, c), b.OnCall(t, c); }
        void OnMessage(const zavtrace::Track& t, int64_t us, std::string_view s) override {
            a.OnMessage(t, us, s), b.OnMessage(t, us, s);
        }
        void OnMemory(const zavtrace::Track& t, int64_t us, const zavtrace::MemoryFigures& m) override {
            a.OnMemory(t, us, m), b.OnMemory(t, us, m);
        }
        void OnMarker(const zavtrace::Track& t, int64_t us, std::string_view s) override {
            a.OnMarker(t, us, s), b.OnMarker(t, us, s);
        }
    } both(r.events, r.profile);
    r.summary = zavtrace::TraceReader(r.routines, both, nullptr).Read(files);
    // Whatever the trace, its timeline nests.
    EXPECT_EQ(NestingViolations(ChromeOf(files, keepChrome)), std::vector<std::string>{});
}
