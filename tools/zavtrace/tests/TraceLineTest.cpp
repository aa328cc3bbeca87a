#include <deque>
#include <string>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "TraceLine.h"

using zavtrace::LineKind;

namespace {
// A parsed line views the text it was read from: keep each text alive until the test ends.
zavtrace::ParsedLine ParseLine(std::string text) {
    static std::deque<std::string> kept;
    kept.push_back(std::move(text));
    return zavtrace::ParseLine(kept.back());
}
}  // namespace

TEST(TraceLineTest, MessageLineFieldsIncludingAWidenedElapsedField) {
    auto line = ParseLine(At("23:59:58", "0.500", -1, "hello  world"));
    ASSERT_EQ(line.kind, LineKind::Message);
    EXPECT_EQ(line.timeOfDay, 23 * 3600 + 59 * 60 + 58);
    EXPECT_EQ(line.elapsedUs, 500);
    EXPECT_EQ(line.indent, 0);
    EXPECT_EQ(line.text, "hello  world");
    // 10000 ms and more widen the field and move the text right by one.
    line = ParseLine(At("00:00:01", "12345.678", 1, "x"));
    ASSERT_EQ(line.kind, LineKind::Message);
    EXPECT_EQ(line.elapsedUs, 12345678);
    EXPECT_EQ(line.indent, 8);
    EXPECT_EQ(line.text, "x");
}

TEST(TraceLineTest, PushAndPopLinesWithAndWithoutTheirParts) {
    auto push = ParseLine(At("10:00:00", "1.000", 1, "Push Work.Load  Request=3"));
    ASSERT_EQ(push.kind, LineKind::Push);
    EXPECT_EQ(push.text, "Work.Load");
    EXPECT_EQ(push.indent / 4, 2);

    auto pop = ParseLine(At("10:00:00", "1.000", 1, "Pop  Work.Load Return Code=-5  Dur=12.345 msecs"));
    ASSERT_EQ(pop.kind, LineKind::Pop);
    EXPECT_EQ(pop.text, "Work.Load");
    EXPECT_TRUE(pop.hasRc);
    EXPECT_EQ(pop.rc, -5);
    EXPECT_TRUE(pop.hasDur);
    EXPECT_EQ(pop.durUs, 12345);

    pop = ParseLine(At("10:00:00", "1.000", -1, "Pop  Work.Save  Dur=0.020 msecs"));
    ASSERT_EQ(pop.kind, LineKind::Pop);
    EXPECT_EQ(pop.text, "Work.Save");
    EXPECT_FALSE(pop.hasRc);
    EXPECT_EQ(pop.durUs, 20);

    // A Pop whose composition failed part way, and the bare second pop of a level.
    pop = ParseLine(At("10:00:00", "1.000", 0, "Pop  Work.Half Return Code=1"));
    ASSERT_EQ(pop.kind, LineKind::Pop);
    EXPECT_EQ(pop.text, "Work.Half");
    EXPECT_FALSE(pop.hasDur);
    pop = ParseLine(At("10:00:00", "1.000", 0, "Pop  "));
    ASSERT_EQ(pop.kind, LineKind::Pop);
    EXPECT_TRUE(pop.text.empty());
}

TEST(TraceLineTest, DateMemoryAndMarkerLines) {
    auto date = ParseLine(DateLine("01/02/27"));
    ASSERT_EQ(date.kind, LineKind::Date);
    EXPECT_EQ(date.day, zavtrace::DaysFromCivil(2027, 1, 2));
    EXPECT_EQ(zavtrace::DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(zavtrace::DaysFromCivil(2000, 3, 1), 11017);

    auto memory = ParseLine("...Memory use changed. Internal Pool=1250, -44. Process Bytes Allocated=35086336, -65536");
    ASSERT_EQ(memory.kind, LineKind::Memory);
    EXPECT_EQ(memory.pool, 1250);
    EXPECT_EQ(memory.poolChange, -44);
    EXPECT_EQ(memory.processBytes, 35086336);
    EXPECT_EQ(memory.processChange, -65536);

    EXPECT_EQ(ParseLine("--Trace closed and re-opened due to trace size.").kind, LineKind::RollOver);
    EXPECT_EQ(ParseLine("---- Wrap trace of saved events.").kind, LineKind::WrapBegin);
    EXPECT_EQ(ParseLine("---- End of wrap trace.").kind, LineKind::WrapEnd);
}

TEST(TraceLineTest, DamagedLinesAreGarbled) {
    for (const std::string& bad : {
             std::string("10:00:0"),                                 // torn inside the time
             At("10:00:00", "1.00", -1, "x"),                        // two decimals
             At("25:00:00", "1.000", -1, "x"),                       // no such hour
             std::string("10:00:00  1.000x"),                        // no blank after the field
             DateLine("13/01/27"),                                   // no such month
             DateLine("01/01/27").substr(0, 50),                     // torn date line
             std::string("...Memory use changed. Internal Pool=12"),  // torn memory line
             std::string(20, '\0'),                                  // zeros where a write was lost
             std::string("--Trace closed"),
         })
        EXPECT_EQ(ParseLine(bad).kind, LineKind::Garbled) << bad;
    uint32_t pid = 0, tid = 0;
    EXPECT_TRUE(zavtrace::ParseHeader("Trace Started. UserId=me, ProcessId=-2, ThreadId=7, Log File=/x.log", pid, tid));
    EXPECT_EQ(pid, 0xFFFFFFFEu);
    EXPECT_EQ(tid, 7u);
}
