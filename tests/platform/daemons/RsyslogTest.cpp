// The event log against a real rsyslogd: a private instance listens on a
// socket in its own folder and writes what it parsed of each line.
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LogDaemon.h"
#include "ZAVEventOutlet.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

namespace {

const char kRsyslogd[] = "/usr/sbin/rsyslogd";

struct Parsed {
    std::string severity, tag, pid, message;
};

// fields.log lines: "severity|tag|procid|msg"; rsyslog keeps the blank
// that follows the tag's colon as the message's first character.
std::vector<Parsed> ParsedLines(const std::string& text) {
    std::vector<Parsed> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        Parsed p;
        size_t a = line.find('|'), b = line.find('|', a + 1), c = line.find('|', b + 1);
        if (c == std::string::npos) continue;
        p.severity = line.substr(0, a);
        p.tag = line.substr(a + 1, b - a - 1);
        p.pid = line.substr(b + 1, c - b - 1);
        p.message = line.substr(c + 1);
        if (!p.message.empty() && p.message[0] == ' ') p.message.erase(0, 1);
        lines.push_back(p);
    }
    return lines;
}

class Rsyslog : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kRsyslogd, X_OK) != 0) GTEST_SKIP() << kRsyslogd << " is not installed (Debian package rsyslog)";
        const std::string& dir = daemon_.folder();
        socket_ = dir + "/log";
        // Only this instance's socket: no system socket, no rate limit, its
        // own work folder and pid file.
        std::ofstream(dir + "/rsyslog.conf")
            << "global(workDirectory=\"" << dir << "\")\n"
            << "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
            << "input(type=\"imuxsock\" Socket=\"" << socket_ << "\" RateLimit.Interval=\"0\")\n"
            << "template(name=\"fields\" type=\"string\" "
               "string=\"%syslogseverity%|%syslogtag%|%procid%|%msg%\\n\")\n"
            << "action(type=\"omfile\" file=\"" << dir << "/fields.log\" template=\"fields\")\n"
            << "action(type=\"omfile\" file=\"" << dir << "/traditional.log\" "
               "template=\"RSYSLOG_TraditionalFileFormat\")\n";
        ASSERT_TRUE(daemon_.Start({kRsyslogd, "-n", "-f", dir + "/rsyslog.conf", "-i", dir + "/rsyslogd.pid"}));
        ASSERT_TRUE(zavtest::WaitUntil([&] { return zavtest::Listening(socket_) || !daemon_.Running(); }) &&
                    daemon_.Running())
            << "rsyslogd did not start:\n"
            << daemon_.Output();
        ZAVPlatformTest_SetEventLogSocket(socket_.c_str());
        g_LogEntriesCount = 0;
        g_LogEntriesMax = 500;
        g_LogMsgCancelTime = 14400;
    }
    void TearDown() override {
        ZAVPlatformTest_SetEventLogSocket(nullptr);
        g_LogEntriesCount = 0;
        g_LogEntriesMax = 500;
    }

    // The parsed lines once count of them have arrived (or after the wait).
    std::vector<Parsed> Lines(size_t count) {
        const std::string file = daemon_.folder() + "/fields.log";
        zavtest::WaitUntil([&] { return ParsedLines(zavtest::ReadWholeFile(file)).size() >= count; });
        return ParsedLines(zavtest::ReadWholeFile(file));
    }

    zavtest::LogDaemon daemon_;
    std::string socket_;
};

TEST_F(Rsyslog, EachCategoryArrivesWithItsSeverityIdentifierPidAndText) {
    struct Case {
        int category;
        const char16_t* source;
        const char* severity;
        const char* identifier;
    };
    const Case cases[] = {{6, nullptr, "6", "ZAVMsg"},
                          {10, u"", "6", "ZAVMsg"},
                          {20, u"Z\u00e4hlerdienst", "6", "Z\xc3\xa4hlerdienst"},
                          {30, u"Agent", "6", "Agent"},
                          {50, u"Agent", "4", "Agent"},
                          {70, u"Agent", "3", "Agent"},
                          {90, u"Agent", "3", "Agent"},
                          {40, u"Night Agent", "3", "Night_Agent"}};
    for (const Case& c : cases) {
        const std::string number = std::to_string(c.category);
        const std::u16string text =
            u"category " + std::u16string(number.begin(), number.end()) + u": Gr\u00fc\u00dfe \u2713 \u65e5\u672c";
        ZAV_LogEvent(static_cast<ZAVMsgCategory>(c.category), text.c_str(), 1, c.source);
    }
    EXPECT_EQ(ZAVPlatform_LastEventReport(nullptr, 0, nullptr), ZAVEventOutletSyslog);
    const size_t n = sizeof cases / sizeof cases[0];
    const std::vector<Parsed> lines = Lines(n);
    ASSERT_EQ(lines.size(), n) << zavtest::ReadWholeFile(daemon_.folder() + "/fields.log") << daemon_.Output();
    const std::string pid = std::to_string(getpid());
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(cases[i].category);
        EXPECT_EQ(lines[i].severity, cases[i].severity);
        EXPECT_EQ(lines[i].tag, std::string(cases[i].identifier) + "[" + pid + "]:");
        EXPECT_EQ(lines[i].pid, pid);
        const std::string number = std::to_string(cases[i].category);
        EXPECT_EQ(lines[i].message, "category " + number + ": Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93 \xe6\x97\xa5\xe6\x9c\xac");
    }
    EXPECT_EQ(g_LogEntriesCount, static_cast<LONG>(n));
    // As rsyslog's traditional file format shows an entry, for the record.
    const std::string traditional = zavtest::ReadWholeFile(daemon_.folder() + "/traditional.log");
    printf("rsyslog wrote:\n%s", traditional.substr(0, traditional.find('\n') + 1).c_str());
}

TEST_F(Rsyslog, TheFloodLimitsNoticeArrivesBeforeTheProcessEnds) {
    g_LogEntriesMax = 2;
    pid_t child = 0;
    const int code = zavtest::ExitCodeOfChild(
        [] {
            for (int i = 0; i < 3; ++i) ZAV_LogEvent(ZAVCatError70, u"flood", 1, u"Flooder");
        },
        &child);
    EXPECT_EQ(code, 112);
    const std::vector<Parsed> lines = Lines(3);
    ASSERT_EQ(lines.size(), 3u) << daemon_.Output();
    const std::string tag = "Flooder[" + std::to_string(child) + "]:";
    EXPECT_EQ(lines[0].message, "flood");
    EXPECT_EQ(lines[1].message, "flood");
    EXPECT_EQ(lines[2].message, "**** Process terminated due to too many error messages. ****");
    for (const Parsed& p : lines) {
        EXPECT_EQ(p.tag, tag);
        EXPECT_EQ(p.severity, "3");
    }
}

}  // namespace
