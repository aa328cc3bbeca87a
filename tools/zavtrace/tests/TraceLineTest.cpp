// The text forms taken apart where the reader tests do not reach them: header
// lines, file names, the times the views take, and trace text turned into
// UTF-8; and the quantiles of many calls, which the golden profiles of the
// frozen sample show only while they are exact.
#include <cmath>

#include "TextEncoding.h"
#include "TraceFiles.h"
#include "TraceLine.h"
#include "TraceTest.h"

TEST(TraceLineTest, HeadersFileNamesAndTraceTimes) {
    uint32_t pid = 0, tid = 0;
    EXPECT_TRUE(zavtrace::ParseHeader("Trace Started. UserId=me, ProcessId=-2, ThreadId=7, Log File=/x.log", pid, tid));
    EXPECT_EQ(std::tuple(pid, tid), std::tuple(0xFFFFFFFEu, 7u));
    EXPECT_EQ(zavtrace::TraceFileOrder({"d/t10.log", "other.log", "d/t.log", "d/t2.log", "d/t1.LOG", "x.txt"}),
              (std::vector<std::string>{"d/t.log", "d/t1.LOG", "d/t2.log", "d/t10.log", "other.log", "x.txt"}));
    // Text, whether it is a trace time, whether dated, and its microseconds.
    for (const auto& [text, ok, dated, us] : std::vector<std::tuple<std::string, bool, bool, int64_t>>{
             {"10:00:00", true, false, 36000000000}, {"23:59:59.25", true, false, 86399250000},
             {"1970-01-02 00:00:01", true, true, 86401000000}, {"24:00:00", false, false, 0}, {"10:00", false, false, 0},
             {"10:00:00x", false, false, 0}, {"2026-13-01 10:00:00", false, false, 0}}) {
        zavtrace::TraceTime t;
        EXPECT_EQ(zavtrace::ParseTraceTime(text, t), ok) << text;
        if (ok) { EXPECT_EQ(std::tuple(t.dated, t.us), std::tuple(dated, us)) << text; }
    }
}

// Trace text is UTF-8 where it is valid and Latin-1 elsewhere; what the
// output forms carry is always valid UTF-8, with the valid parts kept.
TEST(TraceLineTest, TraceTextBecomesValidUtf8) {
    for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
             {"plain", "plain"}, {"caf\xC3\xA9", "caf\xC3\xA9"}, {"caf\xE9", "caf\xC3\xA9"}, {"\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},
             {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}, {"\xFF\x80\x80", "\xC3\xBF\xC2\x80\xC2\x80"},
             {"\xF8\x88\x80\x80", "\xC3\xB8\xC2\x88\xC2\x80\xC2\x80"}, {"\xF5\x80\x80\x80", "\xC3\xB5\xC2\x80\xC2\x80\xC2\x80"},
             {"\xE2\x82", "\xC3\xA2\xC2\x82"}, {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"}}) {
        EXPECT_EQ(zavtrace::ToUtf8(in), out) << in;
        std::string json = "\"";
        zavtrace::AppendJsonString(json, in);
        EXPECT_EQ(nlohmann::json::parse(json + "\"").get<std::string>(), out) << in;
    }
}

// Within the stated error beyond the exact limit.
TEST(TraceLineTest, DurationQuantiles) {
    zavtrace::DurationQuantiles q;
    EXPECT_EQ(q.Quantile(0.95), 0);
    std::mt19937_64 random(11);
    std::lognormal_distribution<double> spread(7.0, 2.0);  // a long tail, as call durations have
    std::vector<int64_t> all;
    for (int i = 0; i < 200000; ++i) q.Add(all.emplace_back(i % 50 == 0 ? 0 : static_cast<int64_t>(spread(random))));
    std::sort(all.begin(), all.end());
    for (double p : {0.5, 0.9, 0.95, 0.99, 1.0}) {
        const int64_t exact = all[static_cast<size_t>(std::ceil(p * all.size())) - 1];
        EXPECT_NEAR(q.Quantile(p), exact, exact * zavtrace::DurationQuantiles::kRelativeError + 1) << p;
    }
    EXPECT_EQ(q.Quantile(0.01), 0);  // 2 % of the calls took under a microsecond
}
