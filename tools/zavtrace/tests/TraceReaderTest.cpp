#include <random>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "TraceLine.h"

using zavtrace::CallEnd;

namespace {

constexpr int64_t kDayUs = 86400LL * 1000000;
const std::string kHeader = "Trace Started. UserId=u, ProcessId=11, ThreadId=12, Log File=x.log";

}  // namespace

TEST(TraceReaderTest, AbsoluteTimesCarryMicrosecondsAcrossMidnight) {
    TempDir dir;
    const std::string file = dir.Write("t.log", Lines({
        DateLine("12/31/26"),
        At("23:59:59", "0.300", -1, kHeader),
        At("23:59:59", "0.700", -1, "before"),
        DateLine("01/01/27"),
        At("00:00:00", "1000.250", -1, "after"),
        At("00:00:05", "5000.000", -1, "later"),
        At("01:00:05", "0.001", -1, "lines were lost here"),  // an hour the elapsed times do not account for
    }));
    ReadResult r;
    ReadInto(r, {file});
    const int64_t newYear = zavtrace::DaysFromCivil(2027, 1, 1) * kDayUs;
    ASSERT_EQ(r.events.messages.size(), 5u);
    EXPECT_EQ(r.events.messages[0].first, newYear - 1000000);
    EXPECT_EQ(r.events.messages[1].first, newYear - 1000000 + 700);
    EXPECT_EQ(r.events.messages[2].first, newYear + 950);
    EXPECT_EQ(r.events.messages[3].first, newYear + 5000950);
    EXPECT_EQ(r.events.messages[4].first, newYear + 3605 * 1000000LL);
    EXPECT_EQ(r.summary.reanchored, 1u);
    EXPECT_EQ(r.summary.garbled, 0u);
}

TEST(TraceReaderTest, NestingSelfTimeAndUnbalancedRoutines) {
    TempDir dir;
    const std::string file = dir.Write("t.log", Lines({
        DateLine("06/01/27"),
        At("10:00:00", "200.000", -1, kHeader),  // the trace object was made 200 ms before
        // The trace began inside B (level 1) and A (level 0): their Pops come without Pushes.
        At("10:00:00", "1.000", 1, "Pop  X.B Return Code=3  Dur=40.000 msecs"),
        At("10:00:00", "1.000", 0, "Pop  X.A Return Code=0  Dur=100.000 msecs"),
        At("10:00:00", "1.000", -1, "Push X.C"),
        "...Memory use changed. Internal Pool=4096, 4096. Process Bytes Allocated=8192, 8192",
        At("10:00:00", "2.000", 0, "Push X.D  extra text"),
        At("10:00:00", "3.000", 0, "Pop  X.D Return Code=0  Dur=3.000 msecs"),
        At("10:00:00", "1.000", 0, "Push X.E"),
        At("10:00:00", "1.000", 1, "Push X.F"),
        // C pops with its own level: E and F are left without their Pops.
        At("10:00:00", "5.000", -1, "Pop  X.C Return Code=87  Dur=12.000 msecs"),
        At("10:00:00", "1.000", -1, "Pop  "),
        At("10:00:00", "1.000", -1, "Push X.G"),
        At("10:00:00", "1.000", 0, "Push X.H"),
        At("10:00:00", "2.000", 1, "message inside H"),
    }));
    ReadResult r;
    ReadInto(r, {file});
    std::map<std::string, zavtrace::Call> byName;
    for (const auto& c : r.events.calls) byName[r.Name(c)] = c;
    ASSERT_EQ(byName.size(), 8u);
    EXPECT_EQ(byName["X.B"].end, CallEnd::PopWithoutPush);
    EXPECT_EQ(byName["X.A"].end, CallEnd::PopWithoutPush);
    EXPECT_EQ(byName["X.A"].selfUs, 60000);  // B's 40 ms belong to A
    EXPECT_EQ(byName["X.B"].durUs, 40000);
    EXPECT_EQ(byName["X.C"].end, CallEnd::Popped);
    EXPECT_EQ(byName["X.C"].durUs, 12000);
    EXPECT_EQ(byName["X.C"].rc, 87);
    EXPECT_EQ(byName["X.D"].startUs, byName["X.C"].startUs + 2000 + 3000 - 3000);
    EXPECT_EQ(byName["X.E"].end, CallEnd::ClosedWithoutPop);
    EXPECT_EQ(byName["X.F"].end, CallEnd::ClosedWithoutPop);
    EXPECT_EQ(byName["X.F"].durUs, 5000);
    EXPECT_EQ(byName["X.E"].durUs, 6000);
    EXPECT_EQ(byName["X.E"].selfUs, 1000);
    EXPECT_EQ(byName["X.C"].selfUs, 12000 - 3000 - 6000);
    EXPECT_EQ(byName["X.G"].end, CallEnd::OpenAtEnd);
    EXPECT_EQ(byName["X.H"].end, CallEnd::OpenAtEnd);
    EXPECT_EQ(byName["X.H"].durUs, 2000);
    EXPECT_EQ(r.summary.calls.popsWithoutPush, 2u);
    EXPECT_EQ(r.summary.calls.closedWithoutPop, 2u);
    EXPECT_EQ(r.summary.calls.openAtEnd, 2u);
    EXPECT_EQ(r.summary.calls.barePops, 1u);
    // The memory line takes the time of the line written with it.
    ASSERT_EQ(r.events.memory.size(), 1u);
    EXPECT_EQ(r.events.memory[0].first, byName["X.D"].startUs);
    EXPECT_EQ(r.events.memory[0].second.pool, 4096);
    // Routines still open are timed to the last line (a killed host's main is no less a routine).
    ASSERT_NE(r.Row("X.G"), nullptr);
    EXPECT_EQ(r.Row("X.G")->totalMs, 3.0);
    ASSERT_NE(r.Row("X.B"), nullptr);
    EXPECT_EQ(r.Row("X.B")->nonzeroRc, 1u);
    EXPECT_EQ(r.Row("X.C")->nonzeroRc, 1u);
}

TEST(TraceReaderTest, DamagedLinesAreCountedAndSkipped) {
    TempDir dir;
    std::string content = Lines({
        DateLine("06/01/27"),
        At("10:00:00", "0.100", -1, kHeader),
        At("10:00:00", "1.000", -1, "Push X.A"),
        At("10:00:00", "1.000", 0, "a text with a line feed\nin it"),
        "garbage that is no trace line",
        std::string("\0\0\0\0", 4),
        At("10:00:00", "1.000", -1, "Pop  X.A Return Code=0  Dur=2.500 msecs"),
    });
    content += "10:00:00     1.000 torn wh";  // the process died while writing
    const std::string file = dir.Write("t.log", content);
    ReadResult r;
    ReadInto(r, {file});
    EXPECT_EQ(r.summary.garbled, 2u);
    EXPECT_EQ(r.summary.torn, 1u);
    EXPECT_EQ(r.summary.continuations, 1u);
    ASSERT_EQ(r.events.calls.size(), 1u);
    EXPECT_EQ(r.events.calls[0].end, CallEnd::Popped);
    EXPECT_EQ(r.events.calls[0].durUs, 2000);  // from the Push line to the Pop line

    // Random bytes and random cuts of a real trace never bring the reader down.
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::string noise = content.substr(0, random() % content.size());
        for (int i = 0; i < 20; ++i) noise[random() % noise.size()] = static_cast<char>(random());
        ReadResult damaged;
        ReadInto(damaged, {dir.Write("n.log", noise)});
        EXPECT_LE(damaged.summary.garbled + damaged.summary.torn, damaged.summary.lines + 1);
    }
}

TEST(TraceReaderTest, NumberedFilesAreReadInNumberOrder) {
    EXPECT_EQ(zavtrace::TraceFileOrder({"d/t10.log", "other.log", "d/t.log", "d/t2.log", "d/t1.LOG", "x.txt"}),
              (std::vector<std::string>{"d/t.log", "d/t1.LOG", "d/t2.log", "d/t10.log", "other.log", "x.txt"}));
}

TEST(TraceReaderTest, ARollOverContinuesTheTraceInTheNextFile) {
    TempDir dir;
    const std::string first = dir.Write("t.log", Lines({
        DateLine("06/01/27"),
        At("10:00:00", "0.100", -1, kHeader),
        At("10:00:00", "1.000", -1, "Push X.A"),
        At("10:00:00", "1.000", 0, "Push X.B"),
        "--Trace closed and re-opened due to trace size.",
    }));
    const std::string second = dir.Write("t1.log", Lines({
        DateLine("06/01/27"),
        At("10:00:00", "0.200", 1, kHeader),
        At("10:00:00", "1.000", 0, "Pop  X.B Return Code=0  Dur=1.200 msecs"),
        At("10:00:00", "1.000", -1, "Pop  X.A Return Code=0  Dur=3.200 msecs"),
    }));
    ReadResult r;
    ReadInto(r, {second, first});
    ASSERT_EQ(r.events.calls.size(), 2u);
    for (const auto& c : r.events.calls) EXPECT_EQ(c.end, CallEnd::Popped) << r.Name(c);
    EXPECT_EQ(r.events.calls[1].selfUs, 2000);
    EXPECT_EQ(r.events.markers.size(), 1u);

    // Without the roll-over line the second file is a trace of its own.
    const std::string cut = dir.Write("u.log", Lines({
        DateLine("06/01/27"),
        At("10:00:00", "0.100", -1, kHeader),
        At("10:00:00", "1.000", -1, "Push X.A"),
    }));
    const std::string next = dir.Write("u1.log", Lines({
        DateLine("06/01/27"),
        At("10:00:00", "0.100", -1, kHeader),
        At("10:00:00", "1.000", -1, "Pop  X.A Return Code=0  Dur=3.200 msecs"),
    }));
    ReadResult separate;
    ReadInto(separate, {cut, next});
    EXPECT_EQ(separate.summary.calls.openAtEnd, 1u);
    EXPECT_EQ(separate.summary.calls.popsWithoutPush, 1u);
    // Its 3.2 ms reach back before the object that wrote the second file was
    // made (0.1 ms before its header): the Push was never traced there, and
    // the time is cut to the object's life.
    EXPECT_EQ(separate.summary.calls.cutPops, 1u);
    ASSERT_EQ(separate.events.calls.size(), 2u);
    EXPECT_EQ(separate.events.calls[1].durUs, 1100);
}

// Given only the first file, the reader finds where the trace went on: the
// next numbered file of the same process, past a name another trace held.
TEST(TraceReaderTest, ARollOverIsFollowedToTheFileItWentOnIn) {
    TempDir dir;
    const std::string first = dir.Write("t.log", Lines({
        DateLine("06/01/27"),
        At("10:00:00", "0.100", -1, kHeader),
        At("10:00:00", "1.000", -1, "Push X.A"),
        "--Trace closed and re-opened due to trace size.",
    }));
    std::string otherHeader = kHeader;
    otherHeader.replace(otherHeader.find("ProcessId=11"), 12, "ProcessId=99");
    dir.Write("t1.log", Lines({
        DateLine("06/01/27"),
        At("09:00:00", "0.100", -1, otherHeader),
        At("09:00:00", "1.000", -1, "Push Other.Trace"),
    }));
    const std::string third = dir.Write("t2.log", Lines({
        DateLine("06/01/27"),
        At("10:00:00", "0.200", -1, kHeader),
        At("10:00:00", "1.000", -1, "Pop  X.A Return Code=0  Dur=2.200 msecs"),
    }));
    dir.Write("t3.log", Lines({DateLine("06/01/27"), At("11:00:00", "0.100", -1, kHeader)}));
    ReadResult r;
    ReadInto(r, {first});
    EXPECT_EQ(r.summary.followedFiles, std::vector<std::string>{third});
    EXPECT_EQ(r.summary.files, 2u);
    ASSERT_EQ(r.events.calls.size(), 1u);
    EXPECT_EQ(r.events.calls[0].end, CallEnd::Popped);
    EXPECT_EQ(r.summary.calls.openAtEnd, 0u);

    // A file that did not roll over is read alone.
    ReadResult alone;
    ReadInto(alone, {third});
    EXPECT_TRUE(alone.summary.followedFiles.empty());
    EXPECT_EQ(alone.summary.files, 1u);
}

TEST(TraceReaderTest, AWrapDumpIsItsOwnStackAndTrack) {
    TempDir dir;
    const std::string file = dir.Write("w.log", Lines({
        DateLine("06/01/27"),
        At("00:00:01", "0.100", -1, kHeader),
        "---- Wrap trace of saved events.",
        "the title",
        // Saved before midnight: their time of day is later than the dump's.
        At("23:59:58", "1.000", 0, "Pop  X.Old Return Code=0  Dur=5.000 msecs"),
        At("23:59:58", "1.000", -1, "Push X.New"),
        At("23:59:58", "1.000", 0, "inside"),
        "---- End of wrap trace.",
    }));
    ReadResult r;
    ReadInto(r, {file});
    ASSERT_EQ(r.events.calls.size(), 2u);
    EXPECT_EQ(r.Name(r.events.calls[0]), "X.Old");
    EXPECT_EQ(r.events.calls[0].end, CallEnd::PopWithoutPush);
    EXPECT_TRUE(r.events.callTracks[0].wrapDump);
    EXPECT_EQ(r.events.callTracks[0].processId, 11u);
    EXPECT_EQ(r.events.calls[1].end, CallEnd::OpenAtEnd);
    EXPECT_EQ(r.summary.garbled, 0u);
    const int64_t day = zavtrace::DaysFromCivil(2027, 6, 1) * kDayUs;
    EXPECT_EQ(r.events.messages[1].first, day - 2 * 1000000LL + 2000);
    EXPECT_EQ(r.events.markers, (std::vector<std::string>{"Wrap trace of saved events", "the title", "End of wrap trace"}));
}
