#include <random>

#include "TraceTestSupport.h"

namespace {

const std::string kOpen = "---- Wrap trace of saved events.\r\n", kClose = "---- End of wrap trace.\r\n";

size_t Record(const std::string& text) { return 2 * (19 + text.size() + 2) + 6; }

// The text between a dump file's two markers.
std::string Dumped(const std::string& text) {
    const size_t from = text.find(kOpen) + kOpen.size(), to = text.find(kClose);
    return to == std::string::npos || from < kOpen.size() ? "" : text.substr(from, to - from);
}

TEST(WrapTrace, DumpFramesTheSavedLinesAndEmptiesTheRing) {
    ScratchTrace t("ring", 4096);
    ZAVDebug& trace = t.trace;
    trace.InsertMsg(ZAV_TEXT("first"));
    trace.RoutinePush(ZAV_TEXT("W"), ZAV_TEXT("r"), nullptr, 1);
    trace.InsertMsg(ZAV_TEXT("second"));
    trace.RoutinePop(-1, 0x7FFFFFFF);
    WString title = ZAV_TEXT("Title line");
    trace.TraceDumpWrap(title.data());
    EXPECT_EQ(trace.TraceWrapActive() - trace.TraceActive(), 1);
    EXPECT_EQ(t.Text(), Header(t.Path()) + kOpen + "Title line\r\nDate=D\r\nT E first\r\nT E Push W.r\r\n"
                                                   "T E     second\r\nT E Pop  W.r  Dur=X msecs\r\n" + kClose);
    trace.TraceDumpWrap(nullptr);  // an empty ring: markers only
    EXPECT_EQ(t.Text(1), Header(t.Path(1)) + kOpen + kClose);
    // A line longer than the ring keeps its beginning only (and so loses its
    // line end).
    trace.InsertMsg(WString(5000, ZAV_TEXT('z')).c_str());
    trace.TraceDumpWrap(nullptr);
    const std::string cut = Dumped(ReadFile(t.Path(2)));
    EXPECT_EQ(cut.substr(19), std::string((4092 - 256) / 2 - 19, 'z'));
    trace.TraceWrapStop();
    EXPECT_EQ(trace.TraceWrapActive(), 0);
    trace.TraceDumpWrap(nullptr);
    EXPECT_FALSE(t.dir.Exists("ring3.log"));
}

// After any sequence of line lengths the dump holds the newest lines, oldest
// first, each once: all that fit, less at most what did not fit in the part
// of the ring left over when it wrapped. A record is 2 bytes per character
// of the line (19 before the text, CR LF after) and 6 more; the ring's last
// 4 bytes are never used.
TEST(WrapTrace, RandomLinesKeepTheNewestThatFit) {
    std::mt19937 random(5406);
    for (int round = 0; round < 60; ++round) {
        const size_t size = 1024 + random() % 3000;
        ScratchTrace t("r", static_cast<DWORD>(size));
        std::vector<std::string> made;
        for (int i = 0, count = 1 + random() % 80; i < count; ++i) {
            made.push_back(std::to_string(i) + ":" + std::string(random() % 120, 'a' + i % 26));
            t.trace.InsertMsg(Widen(made.back()).c_str());
        }
        t.trace.TraceDumpWrap(nullptr);
        std::string expected, dumped = Masked(Dumped(ReadFile(t.Path())));
        if (dumped.compare(0, 8, "Date=D\r\n") == 0) dumped.erase(0, 8);
        size_t bytes = 0, kept = 0;
        for (size_t i = made.size(); expected != dumped && i-- > 0 && bytes + Record(made[i]) <= size - 4; ++kept) {
            bytes += Record(made[i]);
            expected = "T E " + made[i] + "\r\n" + expected;
        }
        ASSERT_EQ(dumped, expected) << "round " << round;
        EXPECT_TRUE(kept == made.size() || bytes + Record(made[made.size() - kept - 1]) > (size - 4) / 2) << round;
    }
}

}  // namespace
