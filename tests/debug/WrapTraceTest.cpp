#include <random>

#include "TraceTestSupport.h"

namespace {

// The lines of a dump file between its two markers.
std::vector<std::string> Dumped(const std::string& text) {
    const std::string open = "---- Wrap trace of saved events.\r\n", close = "---- End of wrap trace.\r\n";
    std::vector<std::string> lines;
    size_t at = text.find(open);
    if (at == std::string::npos) return lines;
    at += open.size();
    const size_t end = text.find(close, at);
    while (at < end) {
        const size_t next = text.find("\r\n", at) + 2;
        lines.push_back(text.substr(at, next - at));
        at = next;
    }
    return lines;
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
    EXPECT_EQ(trace.TraceWrapActive(), 1);
    EXPECT_EQ(trace.TraceActive(), 0);
    EXPECT_EQ(t.Text(), Header(t.Path()) +
                                          "---- Wrap trace of saved events.\r\nTitle line\r\n"
                                          "Date=D\r\nT E first\r\nT E Push W.r\r\nT E     second\r\n"
                                          "T E Pop  W.r  Dur=X msecs\r\n"
                                          "---- End of wrap trace.\r\n");
    trace.TraceDumpWrap(nullptr);  // an empty ring: markers only
    EXPECT_EQ(t.Text(1), Header(t.Path(1)) + "---- Wrap trace of saved events.\r\n---- End of wrap trace.\r\n");
    trace.TraceWrapStop();
    EXPECT_EQ(trace.TraceWrapActive(), 0);
    trace.TraceDumpWrap(nullptr);
    EXPECT_FALSE(t.dir.Exists("ring2.log"));
}

// After any sequence of line lengths the dump holds exactly the newest lines
// that fit, oldest first, each once.
TEST(WrapTrace, RandomLinesKeepTheNewestThatFit) {
    std::mt19937 random(5406);
    for (int round = 0; round < 60; ++round) {
        const DWORD size = 1024 + random() % 3000;
        ScratchTrace t("r", size);
        ZAVDebug& trace = t.trace;
        std::vector<std::string> made;  // composed lines, as the ring stores them (date line first)
        const int count = 1 + random() % 80;
        for (int i = 0; i < count; ++i) {
            const std::string text = std::to_string(i) + ":" + std::string(random() % 120, 'a' + i % 26);
            trace.InsertMsg(WString(text.begin(), text.end()).c_str());
            made.push_back(text);
        }
        trace.TraceDumpWrap(nullptr);
        const std::vector<std::string> dumped = Dumped(ReadFile(t.Path()));
        // Record sizes: 2 per character + 6; the usable part is size - 4.
        size_t used = 0, kept = 0;
        for (auto it = made.rbegin(); it != made.rend(); ++it) {
            const size_t record = 2 * (19 + it->size() + 2) + 6;
            if (used + record > size - 4) break;
            used += record;
            ++kept;
        }
        ASSERT_FALSE(dumped.empty());
        std::vector<std::string> texts;
        for (const auto& line : dumped)
            if (line.compare(0, 5, "Date=") != 0) texts.push_back(line.substr(19, line.size() - 21));
        ASSERT_LE(texts.size(), kept) << "round " << round;
        // The ring may give up older records early when a record does not fit
        // before the limit, never newer ones: what it holds is the newest run.
        ASSERT_GE(texts.size(), 1u);
        for (size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(texts[i], made[made.size() - texts.size() + i]) << "round " << round;
        const size_t bytes = [&] {
            size_t b = 0;
            for (const auto& t : texts) b += 2 * (19 + t.size() + 2) + 6;
            return b;
        }();
        // Whatever was dropped would not have fit in the part of the ring left over.
        if (texts.size() < made.size()) {
            const size_t next = 2 * (19 + made[made.size() - texts.size() - 1].size() + 2) + 6;
            EXPECT_GT(bytes + next, (size - 4) / 2) << "round " << round;
        }
    }
}

TEST(WrapTrace, ALineLongerThanTheRingIsCut) {
    ScratchTrace t("cut", 1024);
    t.trace.InsertMsg(WString(2000, ZAV_TEXT('z')).c_str());
    t.trace.TraceDumpWrap(nullptr);
    // The date line gave way to the long one, which keeps its beginning only
    // (and so loses its line end).
    const std::string text = ReadFile(t.Path());
    const std::string open = "---- Wrap trace of saved events.\r\n", close = "---- End of wrap trace.\r\n";
    const size_t from = text.find(open) + open.size(), to = text.find(close);
    ASSERT_NE(to, std::string::npos);
    const std::string saved = text.substr(from, to - from);
    EXPECT_EQ(saved.size(), (1020u - 256) / 2);
    EXPECT_EQ(saved.substr(19), std::string(saved.size() - 19, 'z'));
}

}  // namespace
