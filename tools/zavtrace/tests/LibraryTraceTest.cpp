// Traces written by the library itself, read back: the profile must show the
// nesting, sleeps and return codes the host made.
#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "TraceScenario.h"

namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::vector<std::string> LogFiles(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) files.push_back(entry.path().string());
    return files;
}

// Sleeps only ever make a call longer; the slack covers a busy machine.
constexpr double kSlackMs = 250;

}  // namespace

TEST(LibraryTraceTest, ProfileShowsTheHostsNestingSleepsAndReturnCodes) {
    TempDir dir;
    const scenario::Sleeps sleeps{5, 10, 4, 3, 2};
    {
        ZAVDebug trace;
        std::u16string name = Wide(dir.path() + "/host");
        trace.TraceStart(name.data(), 0);
        scenario::Run(trace, sleeps);
    }
    ReadResult r;
    ReadInto(r, LogFiles(dir.path()));
    EXPECT_EQ(r.summary.garbled + r.summary.torn, 0u);
    EXPECT_EQ(r.summary.calls.popsWithoutPush, 0u);
    EXPECT_EQ(r.summary.calls.closedWithoutPop, 1u);  // Work.Inner, popped with Work.Fail

    const auto* run = r.Row("Host.Run");
    const auto* load = r.Row("Work.Load");
    const auto* parse = r.Row("Work.Parse");
    const auto* save = r.Row("Work.Save");
    const auto* fail = r.Row("Work.Fail");
    const auto* inner = r.Row("Work.Inner");
    ASSERT_TRUE(run && load && parse && save && fail && inner);
    EXPECT_EQ(run->calls, 1u);
    EXPECT_EQ(load->calls, 3u);
    EXPECT_EQ(parse->calls, 3u);
    EXPECT_EQ(load->nonzeroRc, 1u);
    EXPECT_EQ(fail->nonzeroRc, 1u);
    EXPECT_EQ(save->nonzeroRc, 0u);  // no return code at all
    EXPECT_EQ(run->nonzeroRc, 0u);

    EXPECT_GE(parse->meanMs, sleeps.parse);
    EXPECT_LT(parse->meanMs, sleeps.parse + kSlackMs);
    EXPECT_GE(load->meanMs, sleeps.load + sleeps.parse);
    EXPECT_GE(load->selfMs, 3.0 * sleeps.load);
    EXPECT_LT(load->selfMs, 3.0 * sleeps.load + kSlackMs);
    EXPECT_NEAR(load->selfMs, load->totalMs - parse->totalMs, 0.0015);
    EXPECT_EQ(load->p95Ms, load->maxMs);  // the 3rd of 3 by nearest rank
    EXPECT_GE(save->totalMs, sleeps.save);
    EXPECT_GE(inner->totalMs, sleeps.inner);
    // The outer routine holds all of it; its self time is what the callees leave.
    const double callees = load->totalMs + save->totalMs + fail->totalMs;
    EXPECT_GE(run->totalMs, callees + sleeps.run);
    EXPECT_NEAR(run->selfMs, run->totalMs - callees, 0.0015);
    EXPECT_GE(run->selfMs, sleeps.run);
    EXPECT_EQ(r.rows.front().name, "Host.Run");  // the longest total comes first
}

TEST(LibraryTraceTest, RolledOverFilesReadAsOneTrace) {
    TempDir dir;
    {
        ZAVDebug trace;
        std::u16string name = Wide(dir.path() + "/roll");
        trace.TraceStart(name.data(), 0);
        trace.MaxLogSize(600);  // a few lines per file
        for (int i = 0; i < 4; ++i) scenario::Run(trace, scenario::Sleeps{0, 1, 0, 0, 0});
    }
    std::vector<std::string> files = LogFiles(dir.path());
    ASSERT_GE(files.size(), 4u);
    std::shuffle(files.begin(), files.end(), std::mt19937(3));
    ReadResult r;
    ReadInto(r, files);
    EXPECT_EQ(r.summary.files, files.size());
    EXPECT_EQ(r.summary.garbled + r.summary.torn, 0u);
    EXPECT_EQ(r.summary.calls.popsWithoutPush, 0u);
    EXPECT_EQ(r.summary.calls.openAtEnd, 0u);
    EXPECT_EQ(r.summary.calls.closedWithoutPop, 4u);
    ASSERT_NE(r.Row("Host.Run"), nullptr);
    EXPECT_EQ(r.Row("Host.Run")->calls, 4u);
    EXPECT_EQ(r.Row("Work.Load")->calls, 12u);
    EXPECT_EQ(r.Row("Work.Load")->nonzeroRc, 4u);
    EXPECT_EQ(r.events.markers.size(), files.size() - 1);
    // Times keep rising from file to file.
    for (size_t i = 1; i < r.events.messages.size(); ++i)
        EXPECT_GE(r.events.messages[i].first, r.events.messages[i - 1].first);
}

TEST(LibraryTraceTest, AWrapDumpsCallsAppearOnTheWrapTrack) {
    TempDir dir;
    {
        ZAVDebug wrap;
        std::u16string name = Wide(dir.path() + "/wrap");
        wrap.TraceStart(name.data(), 4096);
        for (int i = 0; i < 5; ++i) scenario::Run(wrap, scenario::Sleeps{0, 0, 0, 0, 0});
        wrap.TraceDumpWrap(nullptr);
    }
    ReadResult r;
    ReadInto(r, LogFiles(dir.path()));
    EXPECT_EQ(r.summary.garbled + r.summary.torn, 0u);
    ASSERT_FALSE(r.events.calls.empty());
    for (const auto& t : r.events.callTracks) EXPECT_TRUE(t.wrapDump);
    // The oldest lines were overwritten: at most one Pop per level lost their Push.
    EXPECT_LE(r.summary.calls.popsWithoutPush, 3u);
    EXPECT_EQ(r.summary.calls.openAtEnd, 0u);
}
