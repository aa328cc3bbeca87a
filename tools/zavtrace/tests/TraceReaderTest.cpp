// Traces written by hand, read back: times, nesting, damage, roll-overs and wrap dumps.
#include <map>

#include "TraceLine.h"
#include "TraceTest.h"

using zavtrace::CallEnd;

namespace {

constexpr int64_t kDayUs = 86400LL * 1000000;
const std::string kHeader = "Trace Started. UserId=u, ProcessId=11, ThreadId=12, Log File=x.log";

// A file whose trace object was made `made` ms before its header line at `time`.
std::string File(const TempDir& dir, const std::string& name, const std::vector<std::string>& lines,
                 const std::string& time = "10:00:00", const std::string& made = "0.100") {
    std::vector<std::string> all = {DateLine("06/01/27"), At(time, made, -1, kHeader)};
    all.insert(all.end(), lines.begin(), lines.end());
    return dir.Write(name, Lines(all));
}

std::string Line(int level, const std::string& elapsed, const std::string& text) { return At("10:00:00", elapsed, level, text); }

}  // namespace

// Absolute times from the times of day and the elapsed fields: across
// midnight, past lines that were lost, and in a wrap dump, a stack and track
// of its own, whose lines were saved before midnight (their time of day is
// later than the dump's).
TEST(TraceReaderTest, AbsoluteTimesAcrossMidnightAndInAWrapDump) {
    TempDir dir;
    ReadResult r({dir.Write("t.log", Lines({DateLine("12/31/26"), At("23:59:59", "0.300", -1, kHeader),
                                            At("23:59:59", "0.700", -1, "before"), DateLine("01/01/27"),
                                            At("00:00:00", "1000.250", -1, "after"),
                                            At("00:00:15", "15000.000", -1, "later"),  // a field widened by one
                                            // an hour the elapsed times do not account for
                                            At("01:00:05", "0.001", -1, "lines were lost here"),
                                            "---- Wrap trace of saved events.", "the title",
                                            At("23:59:58", "1.000", 0, "Pop  X.Old Return Code=0  Dur=5.000 msecs"),
                                            At("23:59:58", "1.000", -1, "Push X.New"), At("23:59:58", "1.000", 0, "inside"),
                                            "---- End of wrap trace."}))});
    const int64_t newYear = zavtrace::DaysFromCivil(2027, 1, 1) * kDayUs;
    std::vector<int64_t> times;
    for (const auto& [us, text] : r.messages) times.push_back(us - newYear);
    EXPECT_EQ(times, (std::vector<int64_t>{-1000000, -1000000 + 700, 950, 15000950, 3605 * 1000000LL, -2000000 + 2000}));
    EXPECT_EQ(std::tuple(r.summary.reanchored, r.summary.garbled), std::tuple(1u, 0u));
    EXPECT_EQ(r.messages[3].second, "later");
    ASSERT_EQ(r.calls.size(), 2u);
    EXPECT_EQ(r.Name(r.calls[0]), "X.Old");
    EXPECT_EQ(std::tuple(r.calls[0].end, r.calls[1].end), std::tuple(CallEnd::PopWithoutPush, CallEnd::OpenAtEnd));
    EXPECT_EQ(std::tuple(r.tracks[0].wrapDump, r.tracks[0].processId), std::tuple(true, 11u));
    EXPECT_EQ(r.markers, (std::vector<std::string>{"Wrap trace of saved events", "the title", "End of wrap trace"}));
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
                       "10:00:00", "200.000")});
    std::map<std::string, zavtrace::Call> by;
    for (const auto& c : r.calls) by[r.Name(c)] = c;
    ASSERT_EQ(by.size(), 8u);
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
    EXPECT_EQ(by["X.D"].startUs, by["X.C"].startUs + 2000);
    const auto& n = r.summary.calls;
    EXPECT_EQ(std::tuple(n.popsWithoutPush, n.closedWithoutPop, n.openAtEnd, n.barePops), std::tuple(2u, 2u, 2u, 1u));
    // The memory line takes the time of the line written with it.
    ASSERT_EQ(r.memory.size(), 1u);
    const auto& [us, m] = r.memory[0];
    EXPECT_EQ(std::tuple(us, m.pool, m.poolChange, m.processBytes, m.processChange),
              std::tuple(by["X.D"].startUs, 4096, 4096, 15393196179456, -8192));  // a 64-bit count
    // Routines still open are timed to the last line (a killed host's main is no less a routine).
    ASSERT_TRUE(r.Row("X.G") && r.Row("X.B") && r.Row("X.C"));
    EXPECT_EQ(r.Row("X.G")->totalMs, 3.0);
    EXPECT_EQ(r.Row("X.B")->nonzeroRc + r.Row("X.C")->nonzeroRc, 2u);
}

// Lines of no known form are counted and skipped; a Pop line composed part
// way still ends its routine.
TEST(TraceReaderTest, DamagedLinesAreCountedAndSkipped) {
    TempDir dir;
    const std::vector<std::string> garbled = {
        "garbage that is no trace line", std::string("\0\0\0\0", 4), std::string(20, '\0'),  // lost writes
        "10:00:0", At("10:00:00", "1.00", -1, "x"), At("25:00:00", "1.000", -1, "x"), "10:00:00  1.000x",
        DateLine("13/01/27"), DateLine("01/01/27").substr(0, 50), "...Memory use changed. Internal Pool=12", "--Trace closed"};
    std::vector<std::string> lines = {Line(-1, "1.000", "Push X.A"), Line(0, "1.000", "a text with a line feed\nin it")};
    lines.insert(lines.end(), garbled.begin(), garbled.end());
    lines.push_back(Line(-1, "1.000", "Pop  X.A Return Code=1"));
    ReadResult r({dir.Write("t.log", ReadFile(File(dir, "t.log", lines)) + "10:00:00     1.000 torn wh")});  // died writing
    const auto& s = r.summary;
    EXPECT_EQ(std::tuple(s.garbled, s.torn, s.continuations), std::tuple(garbled.size(), 1u, 1u));
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(std::tuple(r.calls[0].end, r.calls[0].rc), std::tuple(CallEnd::Popped, 1));
    EXPECT_EQ(r.calls[0].durUs, 2000);  // from the Push line to the Pop line

    // Random bytes and random cuts of a real trace never bring the reader down.
    const std::string content = ReadFile(dir.path() + "/t.log");
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::string noise = content.substr(0, random() % content.size());
        for (int i = 0; i < 20; ++i) noise[random() % noise.size()] = static_cast<char>(random());
        ReadResult damaged({dir.Write("n.log", noise)});
        EXPECT_LE(damaged.summary.garbled + damaged.summary.torn, damaged.summary.lines + 1);
    }
}

// Without a roll-over line the next numbered file is a trace of its own.
// Its 3.2 ms reach back before the object that wrote it was made (0.1 ms
// before its header): the Push was never traced there, and the time is cut
// to the object's life. (Rolled files are followed in HostTraceTest.)
TEST(TraceReaderTest, NumberedFilesWithoutARollOverAreTracesOfTheirOwn) {
    TempDir dir;
    ReadResult r({File(dir, "u1.log", {Line(-1, "1.000", "Pop  X.A Return Code=0  Dur=3.200 msecs")}),
                  File(dir, "u.log", {Line(-1, "1.000", "Push X.A")})});
    const auto& n = r.summary.calls;
    EXPECT_EQ(std::tuple(n.openAtEnd, n.popsWithoutPush, n.cutPops), std::tuple(1u, 1u, 1u));
    ASSERT_EQ(r.calls.size(), 2u);
    EXPECT_EQ(r.calls[1].durUs, 1100);
    EXPECT_TRUE(r.summary.followedFiles.empty());
}
