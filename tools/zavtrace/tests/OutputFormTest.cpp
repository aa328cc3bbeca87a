// The output forms over the frozen sample: the chrome trace against the
// trace event format's required fields, the folded stacks against the profile.
#include <cstdio>
#include <map>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CallPaths.h"
#include "ChromeTrace.h"
#include "TestFiles.h"
#include "TextEncoding.h"

namespace {

const std::vector<std::string> kSample = {ZAVTRACE_DATA "/sample.log", ZAVTRACE_DATA "/sample1.log",
                                          ZAVTRACE_DATA "/sample-wrap.log"};

std::string ReadAll(FILE* f) {
    std::string text;
    rewind(f);
    char block[4096];
    size_t got;
    while ((got = fread(block, 1, sizeof block, f)) > 0) text.append(block, got);
    return text;
}

}  // namespace

TEST(OutputFormTest, ChromeTraceHasTheRequiredFieldsOfEachEventType) {
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    zavtrace::RoutineTable routines;
    {
        zavtrace::ChromeTraceSink chrome(out, routines);
        zavtrace::TraceReader(routines, chrome, nullptr).Read(kSample);
        ASSERT_TRUE(chrome.Close());
    }
    const nlohmann::json doc = nlohmann::json::parse(ReadAll(out));
    fclose(out);
    ASSERT_TRUE(doc.is_object());
    ASSERT_TRUE(doc["traceEvents"].is_array());
    std::map<std::string, int> phases;
    std::map<std::pair<int64_t, int64_t>, std::vector<std::pair<int64_t, int64_t>>> spans;  // by pid, tid
    for (const auto& e : doc["traceEvents"]) {
        ASSERT_TRUE(e.is_object());
        // Every event: name, ph, pid, tid; all but metadata a timestamp in microseconds.
        ASSERT_TRUE(e["name"].is_string()) << e;
        ASSERT_TRUE(e["ph"].is_string()) << e;
        ASSERT_TRUE(e["pid"].is_number_integer()) << e;
        ASSERT_TRUE(e["tid"].is_number_integer()) << e;
        ASSERT_TRUE(e["ts"].is_number()) << e;
        const std::string ph = e["ph"];
        ++phases[ph];
        if (ph == "X") {
            ASSERT_TRUE(e["dur"].is_number()) << e;
            ASSERT_GE(e["dur"].get<int64_t>(), 0) << e;
            spans[{e["pid"], e["tid"]}].emplace_back(e["ts"], e["ts"].get<int64_t>() + e["dur"].get<int64_t>());
        } else if (ph == "i") {
            ASSERT_TRUE(e["s"] == "t" || e["s"] == "p" || e["s"] == "g") << e;
        } else if (ph == "C") {
            ASSERT_TRUE(e["args"].is_object() && !e["args"].empty()) << e;
            for (const auto& v : e["args"]) ASSERT_TRUE(v.is_number()) << e;
        } else if (ph == "M") {
            ASSERT_TRUE(e["name"] == "process_name" || e["name"] == "thread_name") << e;
            ASSERT_TRUE(e["args"]["name"].is_string()) << e;
        } else {
            FAIL() << "unexpected phase " << e;
        }
    }
    EXPECT_GT(phases["X"], 10);
    EXPECT_GT(phases["i"], 10);
    EXPECT_GT(phases["C"], 0);
    // Complete events on one track nest: each starts and ends inside any it overlaps.
    for (auto& [track, list] : spans) {
        std::sort(list.begin(), list.end(), [](auto& a, auto& b) { return a.first != b.first ? a.first < b.first : a.second > b.second; });
        std::vector<int64_t> ends;
        for (const auto& [begin, end] : list) {
            while (!ends.empty() && ends.back() <= begin) ends.pop_back();
            if (!ends.empty()) {
                EXPECT_LE(end, ends.back()) << "track " << track.second << " at " << begin;
            }
            ends.push_back(end);
        }
    }
    // The wrap dump has a track of its own in the writing process.
    bool wrapTrack = false;
    for (const auto& [track, list] : spans) wrapTrack |= track.second == zavtrace::ChromeTraceSink::kWrapThread;
    EXPECT_TRUE(wrapTrack);
}

TEST(OutputFormTest, FoldedSelfTimesAddUpToTheProfile) {
    zavtrace::RoutineTable routines;
    zavtrace::ProfileSink profile;
    zavtrace::StackTree paths;
    zavtrace::TraceReader(routines, profile, &paths).Read(kSample);
    FILE* out = tmpfile();
    zavtrace::WriteFoldedStacks(out, paths, routines);
    const std::string folded = ReadAll(out);
    fclose(out);
    std::map<std::string, int64_t> selfByLeaf;
    size_t start = 0;
    while (start < folded.size()) {
        const size_t end = folded.find('\n', start);
        const std::string line = folded.substr(start, end - start);
        const size_t space = line.rfind(' ');
        const size_t semicolon = line.rfind(';', space);
        const std::string leaf = line.substr(semicolon == std::string::npos ? 0 : semicolon + 1,
                                             space - (semicolon == std::string::npos ? 0 : semicolon + 1));
        selfByLeaf[leaf] += std::stoll(line.substr(space + 1));
        start = end + 1;
    }
    const auto rows = profile.Rows(routines);
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows)
        EXPECT_NEAR(selfByLeaf[row.name] / 1000.0, row.selfMs, 0.0005) << row.name;
}

// Trace text is UTF-8 where it is valid and Latin-1 elsewhere; what the
// output forms carry is always valid UTF-8, with the valid parts kept.
TEST(OutputFormTest, TraceTextBecomesValidUtf8) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c : {Case{"plain", "plain"}, Case{"caf\xC3\xA9", "caf\xC3\xA9"}, Case{"caf\xE9", "caf\xC3\xA9"},
                          Case{"\xE2\x82\xAC 5", "\xE2\x82\xAC 5"}, Case{"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
                          Case{"\xFF\x80\x80", "\xC3\xBF\xC2\x80\xC2\x80"}, Case{"\xF8\x88\x80\x80", "\xC3\xB8\xC2\x88\xC2\x80\xC2\x80"},
                          Case{"\xE2\x82", "\xC3\xA2\xC2\x82"}, Case{"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"}}) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(zavtrace::ToUtf8(c.in), c.out);
        std::string json = "\"";
        zavtrace::AppendJsonString(json, c.in);
        EXPECT_EQ(nlohmann::json::parse(json + "\"").get<std::string>(), c.out);
    }
}

// A leaner timeline leaves out what it is asked to, and only that.
TEST(OutputFormTest, ChromeLeavesOutMessagesOrCounters) {
    struct Case {
        bool messages, counters;
    };
    std::map<std::string, int> full;
    for (const Case& c : {Case{true, true}, Case{false, true}, Case{true, false}, Case{false, false}}) {
        SCOPED_TRACE(std::to_string(c.messages) + std::to_string(c.counters));
        FILE* out = tmpfile();
        zavtrace::RoutineTable routines;
        {
            zavtrace::ChromeTraceSink chrome(out, routines, zavtrace::ChromeOptions{c.messages, c.counters});
            zavtrace::TraceReader(routines, chrome, nullptr).Read(kSample);
            ASSERT_TRUE(chrome.Close());
        }
        std::map<std::string, int> kinds;  // by category
        const nlohmann::json doc = nlohmann::json::parse(ReadAll(out));
        for (const auto& e : doc["traceEvents"])
            ++kinds[e["ph"] == "C" ? "counter" : e.value("cat", std::string("metadata"))];
        fclose(out);
        if (c.messages && c.counters) {
            full = kinds;
            EXPECT_GT(full["message"] * full["counter"] * full["routine"], 0) << ::testing::PrintToString(full);
            continue;
        }
        EXPECT_EQ(kinds["message"], c.messages ? full["message"] : 0);
        EXPECT_EQ(kinds["counter"], c.counters ? full["counter"] : 0);
        EXPECT_EQ(kinds["routine"], full["routine"]);
        EXPECT_EQ(kinds["marker"], full["marker"]);
    }
}
