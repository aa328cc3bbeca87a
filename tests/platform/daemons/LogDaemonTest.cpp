// The event log against real log daemons, each run as the test's own child
// in a scratch folder: a private rsyslogd listening on a socket there, and
// systemd-journald, whose socket path is fixed, in a mount namespace of this
// process with a fresh tmpfs over /run (no system journal is touched, none
// needs to run), read back with journalctl.
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "LogReceiver.h"
#include "ZAVEventOutlet.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

namespace {

// Polls until done() holds or the seconds have passed; answers done().
bool WaitUntil(const std::function<bool()>& done, int seconds = 15) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return done();
}

// Once per process: a mount namespace whose mounts stay private to it. As
// root that takes no more; other users get a user namespace in which they
// are root. Answers "" or why it failed.
std::string EnterPrivateMounts() {
    static const std::string failure = [] {
        const uid_t uid = geteuid();
        const gid_t gid = getegid();
        const auto write = [](const char* path, const std::string& text) {
            return bool(std::ofstream(path) << text << std::flush);
        };
        if (unshare(CLONE_NEWNS | (uid != 0 ? CLONE_NEWUSER : 0)) != 0)
            return std::string("unshare: ") + strerror(errno) + (uid != 0 ? " (run as root)" : "");
        if (uid != 0 &&
            !(write("/proc/self/setgroups", "deny") && write("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
              write("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")))
            return std::string("cannot map the user into its namespace");
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("making / private: ") + strerror(errno);
        return std::string();
    }();
    return failure;
}

class LogDaemon : public ::testing::Test {
protected:
    // Runs the daemon, its output to daemon.out, until it listens at socket.
    void Start(std::vector<std::string> command, const std::string& socket) {
        std::vector<char*> argv;
        for (std::string& a : command) argv.push_back(a.data());
        argv.push_back(nullptr);
        fflush(nullptr);
        if ((pid_ = fork()) == 0) {
            const int fd = open(File("daemon.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        const auto listening = [&] { return access(socket.c_str(), F_OK) == 0; };  // bound: taking datagrams
        ASSERT_TRUE(WaitUntil([&] { return listening() || waitpid(pid_, nullptr, WNOHANG) != 0; }) && listening())
            << command[0] << " did not start:\n"
            << Output();
    }
    void TearDown() override {
        ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr);
        if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);  // what it wrote is read by now
        if (mounted_) umount2("/run", MNT_DETACH);
    }
    std::string File(const std::string& name) const { return scratch_.File(name); }
    std::string Output() const { return ReadFile(File("daemon.out")); }

    ScratchDirectory scratch_;
    pid_t pid_ = -1;
    bool mounted_ = false;
};

class Rsyslog : public LogDaemon {
protected:
    // Only this instance's socket: no system socket, no rate limit, its own
    // work folder and pid file. Each line as rsyslog parsed it, which keeps
    // the blank after the tag's colon as the message's first character.
    void SetUp() override {
        if (access("/usr/sbin/rsyslogd", X_OK) != 0) GTEST_SKIP() << "rsyslogd is not installed (Debian package rsyslog)";
        std::ofstream(File("rsyslog.conf"))
            << "global(workDirectory=\"" << scratch_.path() << "\")\n"
            << "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
            << "input(type=\"imuxsock\" Socket=\"" << File("log") << "\" RateLimit.Interval=\"0\")\n"
            << "template(name=\"fields\" type=\"string\" string=\"%syslogseverity%|%syslogtag%|%procid%|%msg%\\n\")\n"
            << "action(type=\"omfile\" file=\"" << File("fields.log") << "\" template=\"fields\")\n";
        Start({"/usr/sbin/rsyslogd", "-n", "-f", File("rsyslog.conf"), "-i", File("rsyslogd.pid")}, File("log"));
        ZAVPlatformTest_SetEventLogSockets(nullptr, File("log").c_str());
    }
};

// Each category with its severity; of the source only what the line cannot
// carry is replaced: blanks and the delimiters.
TEST_F(Rsyslog, EachCategoryArrivesWithItsSeverityIdentifierPidAndText) {
    const struct {
        int category;
        const char16_t* source;
        const char *severity, *identifier;
    } cases[] = {{6, nullptr, "6", "ZAVMsg"},
                 {20, u"Z\u00e4hlerdienst", "6", "Z\xc3\xa4hlerdienst"},
                 {50, u"Agent", "4", "Agent"},
                 {70, u"Agent", "3", "Agent"},
                 {40, u"My Agent:\u00e9[1]", "3", "My_Agent_\xc3\xa9_1_"}};
    const std::string pid = std::to_string(getpid());
    std::string expected, lines;
    for (const auto& c : cases) {
        ZAV_LogEvent(static_cast<ZAVMsgCategory>(c.category), u"Gr\u00fc\u00dfe \u2713", 1, c.source);
        expected += std::string(c.severity) + "|" + c.identifier + "[" + pid + "]:|" + pid + "| Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93\n";
    }
    EXPECT_EQ(ZAVPlatform_LastEventReport(nullptr, 0, nullptr), ZAVEventOutletSyslog);
    WaitUntil([&] {
        lines = ReadFile(File("fields.log"));
        return std::count(lines.begin(), lines.end(), '\n') >= 5;
    });
    EXPECT_EQ(lines, expected) << Output();
}

class Journald : public LogDaemon {
protected:
    void SetUp() override {
        const char* journald = "/lib/systemd/systemd-journald";
        if (access(journald, X_OK) != 0) GTEST_SKIP() << journald << " is not installed (Debian package systemd)";
        ASSERT_EQ(EnterPrivateMounts(), "") << "a private mount namespace is needed for a journal of the test's own";
        ASSERT_EQ(mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755"), 0) << strerror(errno);
        mounted_ = true;
        Start({journald}, "/run/systemd/journal/socket");
        ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr);  // the system's paths, as a host has them
    }
};

// Whatever the text (lines, a lone surrogate, more than a datagram holds),
// entries arrive whole, by the native protocol.
TEST_F(Journald, EntriesCarryMessagePriorityIdentifierPidAndEventId) {
    EXPECT_TRUE(
        zavtest::Report(u"a\xd800z: [x]", EVENTLOG_AUDIT_SUCCESS, 4711, {u"line one\nline=two", u"\u65e5\u672c"}));
    std::u16string text;
    std::string big;
    for (int i = 0; i < 30000; ++i, big += "zeile \xc3\xa4\n") text += u"zeile \u00e4\n";
    EXPECT_TRUE(zavtest::Report(u"Big", EVENTLOG_ERROR_TYPE, 3, {text}));
    char where[256];
    BOOL taken = FALSE;
    EXPECT_EQ(ZAVPlatform_LastEventReport(where, sizeof where, &taken), ZAVEventOutletJournal);
    EXPECT_STREQ(where, "/run/systemd/journal/socket");
    EXPECT_TRUE(taken);

    const std::string pid = std::to_string(getpid());
    // Each entry's text and fields, by the native protocol, not /dev/log.
    const std::vector<std::vector<std::string>> expected = {
        {"line one\nline=two \xe6\x97\xa5\xe6\x9c\xac", "5", "a\xef\xbf\xbdz: [x]", "4711", pid, pid, "1", "journal"},
        {big, "3", "Big", "3", pid, pid, "1", "journal"}};
    std::vector<zavtest::JournalFields> entries;  // this process's, read back once both are there
    const std::string command = "journalctl -D /run/log/journal -o export --no-pager SYSLOG_PID=" + pid + " >" +
                                File("export") + " 2>/dev/null";
    WaitUntil([&] {
        return system(command.c_str()) == 0 && (entries = zavtest::DecodeJournal(ReadFile(File("export")))).size() >= 2;
    });
    ASSERT_EQ(entries.size(), 2u) << Output();
    for (size_t i = 0; i < 2; ++i) {
        std::vector<std::string> fields;
        for (const char* key : {"MESSAGE", "PRIORITY", "SYSLOG_IDENTIFIER", "EVENT_ID", "SYSLOG_PID", "_PID",
                                "SYSLOG_FACILITY", "_TRANSPORT"})
            fields.push_back(zavtest::Field(entries[i], key));
        EXPECT_EQ(fields, expected[i]) << i;
    }
}

}  // namespace
