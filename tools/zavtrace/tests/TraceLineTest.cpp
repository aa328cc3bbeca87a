// The text forms taken apart: trace lines, header lines, file names, the
// times the views take, and trace text turned into UTF-8.
#include <deque>

#include "TextEncoding.h"
#include "TraceFiles.h"
#include "TraceLine.h"
#include "TraceTest.h"

using zavtrace::LineKind;

namespace {
const std::string kGarbled = "garbled";
std::string At10(int level, const std::string& text) { return At("10:00:00", "1.000", level, text); }
}  // namespace

TEST(TraceLineTest, LinesAreTakenApart) {
    struct Case {
        std::string line;
        LineKind kind;
        std::string text;  // kGarbled: only the kind is checked
        int timeOfDay = 36000, indent = 0;
        int64_t elapsedUs = 1000, rc = -1, durUs = -1;  // -1: none
    };
    const Case cases[] = {
        {At("23:59:58", "0.500", -1, "hello  world"), LineKind::Message, "hello  world", 86398, 0, 500},
        // 10000 ms and more widen the field and move the text right by one.
        {At("00:00:01", "12345.678", 1, "x"), LineKind::Message, "x", 1, 8, 12345678},
        {At10(1, "Push Work.Load  Request=3"), LineKind::Push, "Work.Load", 36000, 8},
        {At10(1, "Pop  Work.Load Return Code=-5  Dur=12.345 msecs"), LineKind::Pop, "Work.Load", 36000, 8, 1000, -5, 12345},
        {At10(-1, "Pop  Work.Save  Dur=0.020 msecs"), LineKind::Pop, "Work.Save", 36000, 0, 1000, -1, 20},
        // Composed part way, and the bare second pop of a level.
        {At10(0, "Pop  Work.Half Return Code=1"), LineKind::Pop, "Work.Half", 36000, 4, 1000, 1},
        {At10(0, "Pop  "), LineKind::Pop, "", 36000, 4},
        {"--Trace closed and re-opened due to trace size.", LineKind::RollOver, kGarbled},
        {"---- Wrap trace of saved events.", LineKind::WrapBegin, kGarbled},
        {"---- End of wrap trace.", LineKind::WrapEnd, kGarbled},
        {"10:00:0", LineKind::Garbled, kGarbled},  // torn inside the time
        {At("10:00:00", "1.00", -1, "x"), LineKind::Garbled, kGarbled},
        {At("25:00:00", "1.000", -1, "x"), LineKind::Garbled, kGarbled},
        {"10:00:00  1.000x", LineKind::Garbled, kGarbled},  // no blank after the field
        {DateLine("13/01/27"), LineKind::Garbled, kGarbled},
        {DateLine("01/01/27").substr(0, 50), LineKind::Garbled, kGarbled},
        {"...Memory use changed. Internal Pool=12", LineKind::Garbled, kGarbled},
        {std::string(20, '\0'), LineKind::Garbled, kGarbled},  // zeros where a write was lost
        {"--Trace closed", LineKind::Garbled, kGarbled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto line = zavtrace::ParseLine(c.line);
        ASSERT_EQ(line.kind, c.kind);
        if (c.text == kGarbled) continue;
        EXPECT_EQ(line.text, c.text);
        EXPECT_EQ(std::tuple(line.timeOfDay, line.indent, line.elapsedUs), std::tuple(c.timeOfDay, c.indent, c.elapsedUs));
        EXPECT_EQ(line.hasRc ? line.rc : -1, c.rc);
        EXPECT_EQ(line.hasDur ? line.durUs : -1, c.durUs);
    }
    const auto date = zavtrace::ParseLine(DateLine("01/02/27"));
    EXPECT_EQ(std::tuple(date.kind, date.day), std::tuple(LineKind::Date, zavtrace::DaysFromCivil(2027, 1, 2)));
    EXPECT_EQ(zavtrace::DaysFromCivil(2000, 3, 1), 11017);
    const auto m = zavtrace::ParseLine("...Memory use changed. Internal Pool=1250, -44. Process Bytes Allocated=35086336, -65536");
    EXPECT_EQ(std::tuple(m.kind, m.pool, m.poolChange, m.processBytes, m.processChange),
              std::tuple(LineKind::Memory, 1250, -44, 35086336, -65536));
    uint32_t pid = 0, tid = 0;
    EXPECT_TRUE(zavtrace::ParseHeader("Trace Started. UserId=me, ProcessId=-2, ThreadId=7, Log File=/x.log", pid, tid));
    EXPECT_EQ(std::tuple(pid, tid), std::tuple(0xFFFFFFFEu, 7u));
}

TEST(TraceLineTest, NumberedFilesAreReadInNumberOrder) {
    EXPECT_EQ(zavtrace::TraceFileOrder({"d/t10.log", "other.log", "d/t.log", "d/t2.log", "d/t1.LOG", "x.txt"}),
              (std::vector<std::string>{"d/t.log", "d/t1.LOG", "d/t2.log", "d/t10.log", "other.log", "x.txt"}));
}

TEST(TraceLineTest, TraceTimes) {
    struct Case {
        const char* text;
        bool ok, dated;
        int64_t us;
    };
    for (const Case& c : {Case{"10:00:00", true, false, 36000000000}, Case{"23:59:59.25", true, false, 86399250000},
                          Case{"1970-01-02 00:00:01", true, true, 86401000000}, Case{"24:00:00", false, false, 0},
                          Case{"10:00", false, false, 0}, Case{"10:00:00x", false, false, 0},
                          Case{"2026-13-01 10:00:00", false, false, 0}}) {
        zavtrace::TraceTime t;
        EXPECT_EQ(zavtrace::ParseTraceTime(c.text, t), c.ok) << c.text;
        if (c.ok) { EXPECT_EQ(std::tuple(t.dated, t.us), std::tuple(c.dated, c.us)) << c.text; }
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
