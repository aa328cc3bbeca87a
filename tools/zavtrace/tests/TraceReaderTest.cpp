// Traces written by hand, read back: times, nesting, damage, roll-overs and wrap dumps.
#include <map>

#include "TraceLine.h"
#include "TraceTest.h"

using zavtrace::CallEnd;

namespace {

constexpr int64_t kDayUs = 86400LL * 1000000;
const std::string kHeader = "Trace Started. UserId=u, ProcessId=11, ThreadId=12, Log File=x.log";
const std::string kRolled = "--Trace closed and re-opened due to trace size.";

// A file whose trace object was made `made` ms before its header line at `time`.
std::string File(const TempDir& dir, const std::string& name, const std::vector<std::string>& lines,
                 const std::string& time = "10:00:00", const std::string& made = "0.100") {
    std::vector<std::string> all = {DateLine("06/01/27"), At(time, made, -1, kHeader)};
    all.insert(all.end(), lines.begin(), lines.end());
    return dir.Write(name, Lines(all));
}

std::string Line(int level, const std::string& elapsed, const std::string& text) { return At("10:00:00", elapsed, level, text); }

}  // namespace

TEST(TraceReaderTest, AbsoluteTimesCarryMicrosecondsAcrossMidnight) {
    TempDir dir;
    ReadResult r({dir.Write("t.log", Lines({DateLine("12/31/26"), At("23:59:59", "0.300", -1, kHeader),
                                            At("23:59:59", "0.700", -1, "before"), DateLine("01/01/27"),
                                            At("00:00:00", "1000.250", -1, "after"),
                                            At("00:00:15", "15000.000", -1, "later"),  // a field widened by one
                                            // an hour the elapsed times do not account for
                                            At("01:00:05", "0.001", -1, "lines were lost here")}))});
    const int64_t newYear = zavtrace::DaysFromCivil(2027, 1, 1) * kDayUs;
    std::vector<int64_t> times;
    for (const auto& [us, text] : r.messages) times.push_back(us - newYear);
    EXPECT_EQ(times, (std::vector<int64_t>{-1000000, -1000000 + 700, 950, 15000950, 3605 * 1000000LL}));
    EXPECT_EQ(std::tuple(r.summary.reanchored, r.summary.garbled), std::tuple(1u, 0u));
    EXPECT_EQ(r.messages[3].second, "later");
}

TEST(TraceReaderTest, NestingSelfTimeAndUnbalancedRoutines) {
    TempDir dir;
    ReadResult r({File(dir, "t.log",
                       {// The trace began inside B (level 1) and A (level 0): their Pops come without Pushes.
                        Line(1, "1.000", "Pop  X.B Return Code=3  Dur=40.000 msecs"),
                        Line(0, "1.000", "Pop  X.A Return Code=0  Dur=100.000 msecs"), Line(-1, "1.000", "Push X.C"),
                        "...Memory use changed. Internal Pool=4096, 4096. Process Bytes Allocated=8192, -8192",
                        Line(0, "2.000", "Push X.D  extra text"), Line(0, "3.000", "Pop  X.D  Dur=3.000 msecs"),
                        Line(0, "1.000", "Push X.E"), Line(1, "1.000", "Push X.F"),
                        // C pops with its own level: E and F are left without their Pops.
                        Line(-1, "5.000", "Pop  X.C Return Code=-87  Dur=12.000 msecs"), Line(-1, "1.000", "Pop  "),
                        Line(-1, "1.000", "Push X.G"), Line(0, "1.000", "Push X.H"), Line(1, "2.000", "message inside H")},
                       "10:00:00", "200.000")});
    std::map<std::string, zavtrace::Call> by;
    for (const auto& c : r.calls) by[r.Name(c)] = c;
    ASSERT_EQ(by.size(), 8u);
    struct Case {
        const char* name;
        CallEnd end;
        int64_t durUs, selfUs;  // -1: not checked
    };
    for (const Case& c : {Case{"X.A", CallEnd::PopWithoutPush, -1, 60000},  // B's 40 ms belong to A
                          Case{"X.B", CallEnd::PopWithoutPush, 40000, -1},
                          Case{"X.C", CallEnd::Popped, 12000, 12000 - 3000 - 6000}, Case{"X.D", CallEnd::Popped, 3000, -1},
                          Case{"X.E", CallEnd::ClosedWithoutPop, 6000, 1000}, Case{"X.F", CallEnd::ClosedWithoutPop, 5000, -1},
                          Case{"X.G", CallEnd::OpenAtEnd, -1, -1}, Case{"X.H", CallEnd::OpenAtEnd, 2000, -1}}) {
        EXPECT_EQ(by[c.name].end, c.end) << c.name;
        EXPECT_EQ(c.durUs < 0 ? c.durUs : by[c.name].durUs, c.durUs) << c.name;
        EXPECT_EQ(c.selfUs < 0 ? c.selfUs : by[c.name].selfUs, c.selfUs) << c.name;
    }
    EXPECT_EQ(std::tuple(by["X.C"].rc, by["X.D"].hasRc), std::tuple(-87, false));
    EXPECT_EQ(by["X.D"].startUs, by["X.C"].startUs + 2000);
    const auto& n = r.summary.calls;
    EXPECT_EQ(std::tuple(n.popsWithoutPush, n.closedWithoutPop, n.openAtEnd, n.barePops), std::tuple(2u, 2u, 2u, 1u));
    // The memory line takes the time of the line written with it.
    ASSERT_EQ(r.memory.size(), 1u);
    const auto& [us, m] = r.memory[0];
    EXPECT_EQ(std::tuple(us, m.pool, m.poolChange, m.processBytes, m.processChange),
              std::tuple(by["X.D"].startUs, 4096, 4096, 8192, -8192));
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

TEST(TraceReaderTest, ARollOverContinuesTheTraceInTheNextFile) {
    TempDir dir;
    const std::string first = File(dir, "t.log", {Line(-1, "1.000", "Push X.A"), Line(0, "1.000", "Push X.B"), kRolled});
    const std::string second = File(dir, "t1.log", {Line(0, "1.000", "Pop  X.B Return Code=0  Dur=1.200 msecs"),
                                                    Line(-1, "1.000", "Pop  X.A Return Code=0  Dur=3.200 msecs")},
                                    "10:00:00", "0.200");
    ReadResult r({second, first});
    ASSERT_EQ(r.calls.size(), 2u);
    for (const auto& c : r.calls) EXPECT_EQ(c.end, CallEnd::Popped) << r.Name(c);
    EXPECT_EQ(r.calls[1].selfUs, 2000);
    EXPECT_EQ(r.markers.size(), 1u);

    // Without the roll-over line the second file is a trace of its own. Its
    // 3.2 ms reach back before the object that wrote it was made (0.1 ms
    // before its header): the Push was never traced there, and the time is cut
    // to the object's life.
    ReadResult separate({File(dir, "u.log", {Line(-1, "1.000", "Push X.A")}),
                         File(dir, "u1.log", {Line(-1, "1.000", "Pop  X.A Return Code=0  Dur=3.200 msecs")})});
    const auto& n = separate.summary.calls;
    EXPECT_EQ(std::tuple(n.openAtEnd, n.popsWithoutPush, n.cutPops), std::tuple(1u, 1u, 1u));
    ASSERT_EQ(separate.calls.size(), 2u);
    EXPECT_EQ(separate.calls[1].durUs, 1100);

    // Given only the first file, the reader finds where the trace went on: the
    // next numbered file of the same process, past a name another trace held.
    TempDir beside;
    const std::string start = File(beside, "t.log", {Line(-1, "1.000", "Push X.A"), kRolled});
    std::string otherHeader = kHeader;
    otherHeader.replace(otherHeader.find("ProcessId=11"), 12, "ProcessId=99");
    beside.Write("t1.log", Lines({DateLine("06/01/27"), At("09:00:00", "0.100", -1, otherHeader),
                                  At("09:00:00", "1.000", -1, "Push Other.Trace")}));
    const std::string third = File(beside, "t2.log", {Line(-1, "1.000", "Pop  X.A Return Code=0  Dur=2.200 msecs")},
                                   "10:00:00", "0.200");
    File(beside, "t3.log", {}, "11:00:00");
    ReadResult followed({start});
    EXPECT_EQ(followed.summary.followedFiles, std::vector<std::string>{third});
    EXPECT_EQ(followed.summary.files, 2u);
    ASSERT_EQ(followed.calls.size(), 1u);
    EXPECT_EQ(followed.calls[0].end, CallEnd::Popped);
    // A file that did not roll over is read alone.
    ReadResult alone({third});
    EXPECT_EQ(std::tuple(alone.summary.followedFiles.size(), alone.summary.files), std::tuple(0u, 1u));
}

TEST(TraceReaderTest, AWrapDumpIsItsOwnStackAndTrack) {
    TempDir dir;
    ReadResult r({File(dir, "w.log",
                       {"---- Wrap trace of saved events.", "the title",
                        // Saved before midnight: their time of day is later than the dump's.
                        At("23:59:58", "1.000", 0, "Pop  X.Old Return Code=0  Dur=5.000 msecs"),
                        At("23:59:58", "1.000", -1, "Push X.New"), At("23:59:58", "1.000", 0, "inside"),
                        "---- End of wrap trace."},
                       "00:00:01")});
    ASSERT_EQ(r.calls.size(), 2u);
    EXPECT_EQ(r.Name(r.calls[0]), "X.Old");
    EXPECT_EQ(std::tuple(r.calls[0].end, r.calls[1].end), std::tuple(CallEnd::PopWithoutPush, CallEnd::OpenAtEnd));
    EXPECT_EQ(std::tuple(r.tracks[0].wrapDump, r.tracks[0].processId), std::tuple(true, 11u));
    EXPECT_EQ(r.summary.garbled, 0u);
    EXPECT_EQ(r.messages[1].first, zavtrace::DaysFromCivil(2027, 6, 1) * kDayUs - 2 * 1000000LL + 2000);
    EXPECT_EQ(r.markers, (std::vector<std::string>{"Wrap trace of saved events", "the title", "End of wrap trace"}));
}
