// Traces written by hand, read back: times, nesting, damage, roll-overs and wrap dumps.
#include "TraceLine.h"
#include "TraceTest.h"

using zavtrace::CallEnd;

namespace {

// Hand-written trace text: lines ended with CR LF, a date line, and a
// message line as the trace composes it (level -1 for no indentation).
std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}
std::string DateLine(const std::string& date) { return "Date=" + date + std::string(80, '='); }
std::string Line(int level, std::string elapsed, const std::string& text, const std::string& time = "10:00:00") {
    if (elapsed.size() < 8) elapsed.insert(0, 8 - elapsed.size(), ' ');
    return time + "  " + elapsed + " " + std::string(4 * (level + 1), ' ') + text;
}

const std::string kHeader = "Trace Started. UserId=u, ProcessId=11, ThreadId=12, Log File=x.log";

// A file whose trace object was made `made` ms before its header line.
std::string File(const TempDir& dir, const std::string& name, std::vector<std::string> lines, const std::string& made = "0.100") {
    lines.insert(lines.begin(), {DateLine("06/01/27"), Line(-1, made, kHeader)});
    return dir.Write(name, Lines(lines));
}

}  // namespace

// Absolute times from the times of day and the elapsed fields: across
// midnight, past lines that were lost, and in a wrap dump, a stack and track
// of its own, whose lines were saved before midnight (their time of day is
// later than the dump's).
TEST(TraceReaderTest, AbsoluteTimesAcrossMidnightAndInAWrapDump) {
    TempDir dir;
    ReadResult r({dir.Write("t.log", Lines({DateLine("12/31/26"), Line(-1, "0.300", kHeader, "23:59:59"),
                                            Line(-1, "0.700", "\"before\" \\ \x7F", "23:59:59"), DateLine("01/01/27"),
                                            Line(-1, "1000.250", "after", "00:00:00"),
                                            Line(-1, "15000.000", "later", "00:00:15"),  // a field widened by one
                                            // an hour the elapsed times do not account for
                                            Line(-1, "0.001", "lines were lost here", "01:00:05"),
                                            "---- Wrap trace of saved events.", "the title",
                                            Line(0, "1.000", "Pop  X.Old Return Code=0  Dur=5.000 msecs", "23:59:58"),
                                            Line(-1, "1.000", "Push X.New", "23:59:58"), Line(0, "1.000", "inside", "23:59:58"),
                                            "---- End of wrap trace."}))});
    const int64_t newYear = zavtrace::DaysFromCivil(2027, 1, 1) * 86400 * 1000000;
    std::vector<int64_t> times;
    for (const auto& [us, text] : r.messages) times.push_back(us - newYear);
    EXPECT_EQ(times, (std::vector<int64_t>{-1000000, -1000000 + 700, 950, 15000950, 3605 * 1000000LL, -2000000 + 2000}));
    EXPECT_EQ(std::tuple(r.summary.reanchored, r.summary.garbled), std::tuple(1u, 0u));
    ASSERT_EQ(r.calls.size(), 2u);
    EXPECT_EQ(std::tuple(r.calls[0].end, r.calls[1].end), std::tuple(CallEnd::PopWithoutPush, CallEnd::OpenAtEnd));
    EXPECT_EQ(std::tuple(r.tracks[0].wrapDump, r.tracks[0].processId), std::tuple(true, 11u));
}

TEST(TraceReaderTest, NestingSelfTimeAndUnbalancedRoutines) {
    TempDir dir;
    ReadResult r({File(dir, "t.log",
                       {// The trace began inside B (level 1) and A (level 0): their Pops come without Pushes.
                        Line(1, "1.000", "Pop  X.B Return Code=3  Dur=40.000 msecs"),
                        Line(0, "1.000", "Pop  X.A Return Code=0  Dur=100.000 msecs"), Line(-1, "1.000", "Push X.C"),
                        "...Memory use changed. Internal Pool=4096, 4096. Process Bytes Allocated=15393196179456, -8192",
                        Line(0, "2.000", "Push X.D  extra text"), Line(0, "3.000", "Pop  X.D  Dur=3.000 msecs"),
                        Line(0, "1.000", "Push X.E"), Line(1, "1.000", "Push X.F"),
                        // C pops with its own level: E and F are left without their Pops.
                        Line(-1, "5.000", "Pop  X.C Return Code=-87  Dur=12.000 msecs"), Line(-1, "1.000", "Pop  "),
                        Line(-1, "1.000", "Push X.G"), Line(0, "1.000", "Push X.H"), Line(1, "2.000", "message inside H")},
                       "200.000")});
    std::map<std::string, zavtrace::Call> by;
    for (const auto& c : r.calls) by[r.routines.Name(c.routine)] = c;
    // Name, how the call ended, its duration and self time (-1: not checked).
    for (const auto& [name, end, durUs, selfUs] : std::vector<std::tuple<std::string, CallEnd, int64_t, int64_t>>{
             {"X.A", CallEnd::PopWithoutPush, -1, 60000},  // B's 40 ms belong to A
             {"X.B", CallEnd::PopWithoutPush, 40000, -1}, {"X.C", CallEnd::Popped, 12000, 12000 - 3000 - 6000},
             {"X.D", CallEnd::Popped, 3000, -1}, {"X.E", CallEnd::ClosedWithoutPop, 6000, 1000},
             {"X.F", CallEnd::ClosedWithoutPop, 5000, -1}, {"X.G", CallEnd::OpenAtEnd, -1, -1},
             {"X.H", CallEnd::OpenAtEnd, 2000, -1}}) {
        const zavtrace::Call& c = by[name];
        EXPECT_EQ(std::tuple(c.end, durUs < 0 ? -1 : c.durUs, selfUs < 0 ? -1 : c.selfUs), std::tuple(end, durUs, selfUs)) << name;
    }
    EXPECT_EQ(std::tuple(by["X.C"].rc, by["X.D"].hasRc), std::tuple(-87, false));
    const auto& n = r.summary.calls;
    EXPECT_EQ(std::tuple(n.popsWithoutPush, n.closedWithoutPop, n.openAtEnd, n.barePops), std::tuple(2u, 2u, 2u, 1u));
    // The memory line takes the time of the line written with it.
    const auto& [us, m] = r.memory.at(0);
    EXPECT_EQ(std::tuple(us, m.pool, m.poolChange, m.processBytes, m.processChange),
              std::tuple(by["X.D"].startUs, 4096, 4096, 15393196179456, -8192));  // a 64-bit count
    // Routines still open are timed to the last line (a killed host's main is no less a routine).
    EXPECT_EQ(r.Row("X.G").totalMs, 3.0);
}

// A level between a Pop and the call below it that never wrote a line: the
// call below still holds the deeper one, in its span and in its self time.
TEST(TraceReaderTest, CalleesAcrossALevelNeverTraced) {
    TempDir dir;
    ReadResult r({File(dir, "t.log",
                       {Line(1, "1.000", "Pop  X.Deep  Dur=5.000 msecs"),
                        // By its own duration Outer began inside Deep.
                        Line(-1, "2.000", "Pop  X.Outer  Dur=4.000 msecs"),
                        Line(-1, "1.000", "Push X.Run"), Line(1, "3.000", "Pop  X.Inner  Dur=2.000 msecs"),
                        Line(-1, "1.000", "Pop  X.Run  Dur=4.000 msecs")},
                       "200.000")});
    std::map<std::string, zavtrace::Call> by;
    for (const auto& c : r.calls) by[r.routines.Name(c.routine)] = c;
    EXPECT_EQ(by["X.Outer"].startUs, by["X.Deep"].startUs);
    EXPECT_EQ(std::tuple(by["X.Run"].durUs, by["X.Run"].selfUs), std::tuple(4000, 2000));
}

// Calls under a microsecond beside others of the same microsecond: one
// before a call, one at the start of a call, one after a call; the timeline
// still nests as a viewer rebuilds it.
TEST(TraceReaderTest, CallsUnderAMicrosecondBesideOthersOfTheSameTime) {
    TempDir dir;
    ReadResult r({File(dir, "t.log",
                       {Line(-1, "1.000", "Push X.Run"),
                        Line(0, "1.000", "Push X.Before"), Line(0, "0.000", "Pop  X.Before  Dur=0.000 msecs"),
                        Line(0, "0.000", "Push X.Next"),
                        Line(1, "0.000", "Push X.First"), Line(1, "0.000", "Pop  X.First  Dur=0.000 msecs"),
                        Line(0, "0.005", "Pop  X.Next  Dur=0.005 msecs"),
                        Line(0, "0.000", "Push X.After"), Line(0, "0.000", "Pop  X.After  Dur=0.000 msecs"),
                        Line(-1, "1.000", "Pop  X.Run  Dur=1.005 msecs")})});
    EXPECT_EQ(std::tuple(r.calls.size(), r.summary.calls.popsWithoutPush + r.summary.calls.openAtEnd), std::tuple(5u, 0u));
}

// Lines of no known form are counted and skipped; a Pop line composed part
// way still ends its routine; input that is no trace is said to be so.
TEST(TraceReaderTest, DamagedLinesAreCountedAndSkipped) {
    TempDir dir;
    const std::vector<std::string> garbled = {
        "garbage that is no trace line", std::string("\0\0\0\0", 4), std::string(20, '\0'),  // lost writes
        "10:00:0", Line(-1, "1.00", "x", "10:00:00"), Line(-1, "1.000", "x", "25:00:00"), "10:00:00  1.000x",
        DateLine("13/01/27"), DateLine("01/01/27").substr(0, 50), "...Memory use changed. Internal Pool=12", "--Trace closed"};
    std::vector<std::string> lines = {Line(-1, "1.000", "Push X.A"), Line(0, "1.000", "a text with a line feed\nin it")};
    lines.insert(lines.end(), garbled.begin(), garbled.end());
    lines.push_back(Line(-1, "1.000", "Pop  X.A Return Code=1"));
    const std::string content = ReadFile(File(dir, "t.log", lines)) + "10:00:00     1.000 torn wh";  // died writing
    ReadResult r({dir.Write("t.log", content)});
    const auto& s = r.summary;
    EXPECT_EQ(std::tuple(s.garbled, s.torn, s.continuations), std::tuple(garbled.size(), 1u, 1u));
    ASSERT_EQ(r.calls.size(), 1u);
    // Timed from the Push line to the Pop line.
    EXPECT_EQ(std::tuple(r.calls[0].end, r.calls[0].rc, r.calls[0].durUs), std::tuple(CallEnd::Popped, 1, 2000));

    // Text in no trace's form, and a trace in UTF-16.
    std::string utf16 = "\xFF\xFE";
    for (char c : content) utf16 += std::string{c, '\0'};
    for (const std::string& other : {std::string("# A title\n\nSome text, `code`.\n"), utf16})
        EXPECT_EQ(ReadResult({dir.Write("other.txt", other)}).summary.notTraces.size(), 1u);

    // Random bytes and random cuts of a real trace never bring the reader down.
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::string noise = content.substr(0, random() % content.size());
        for (int i = 0; i < 20; ++i) noise[random() % noise.size()] = static_cast<char>(random());
        ReadResult damaged({dir.Write("n.log", noise)});
    }
}
