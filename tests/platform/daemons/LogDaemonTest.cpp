// The event log against a real systemd-journald, run as the test's own child
// (its output in a scratch folder) in a mount namespace of this process with
// a fresh tmpfs over /run (no system journal is touched, none needs to run),
// read back with journalctl.
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "LogReceiver.h"
#include "ZAVEventOutlet.h"
#include "ZAVPlatformTest.h"

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

class Journald : public ::testing::Test {
protected:
    // Runs journald, its output to daemon.out, until it listens at its socket.
    void SetUp() override {
        char journald[] = "/lib/systemd/systemd-journald";
        if (access(journald, X_OK) != 0) GTEST_SKIP() << journald << " is not installed (Debian package systemd)";
        ASSERT_EQ(EnterPrivateMounts(), "") << "a private mount namespace is needed for a journal of the test's own";
        ASSERT_EQ(mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755"), 0) << strerror(errno);
        mounted_ = true;
        fflush(nullptr);
        if ((pid_ = fork()) == 0) {
            const int fd = open(File("daemon.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            char* argv[] = {journald, nullptr};
            execv(journald, argv);
            _exit(127);
        }
        const auto listening = [&] {
            const int fd = zavtest::UnixDatagramSocket("/run/systemd/journal/socket", false);
            return fd >= 0 && close(fd) == 0;
        };
        ASSERT_TRUE(WaitUntil([&] { return listening() || waitpid(pid_, nullptr, WNOHANG) != 0; }) && listening())
            << "journald did not start:\n"
            << Output();
        ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr);  // the system's paths, as a host has them
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            if (!WaitUntil([&] { return waitpid(pid_, nullptr, WNOHANG) != 0; }, 10)) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
        if (mounted_) umount2("/run", MNT_DETACH);
    }
    std::string File(const std::string& name) const { return scratch_.File(name); }
    std::string Output() const { return ReadFile(File("daemon.out")); }

    // This process's entries, once count of them are there (or after the wait).
    std::vector<zavtest::JournalFields> OwnEntries(size_t count) {
        std::vector<zavtest::JournalFields> entries;
        const std::string command =
            "journalctl -D /run/log/journal -o export --no-pager SYSLOG_PID=" + std::to_string(getpid()) + " >" +
            File("export") + " 2>/dev/null";
        WaitUntil([&] {
            return system(command.c_str()) == 0 &&
                   (entries = zavtest::DecodeJournal(ReadFile(File("export")))).size() >= count;
        });
        return entries;
    }
    ScratchDirectory scratch_;
    pid_t pid_ = -1;
    bool mounted_ = false;
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

    const struct {
        std::string message;
        const char *priority, *identifier, *id;
    } expected[] = {{"line one\nline=two \xe6\x97\xa5\xe6\x9c\xac", "5", "a\xef\xbf\xbdz: [x]", "4711"},
                    {big, "3", "Big", "3"}};
    const auto entries = OwnEntries(2);
    ASSERT_EQ(entries.size(), 2u) << Output();
    for (size_t i = 0; i < 2; ++i) {
        zavtest::JournalFields e = entries[i];
        EXPECT_TRUE(e["MESSAGE"] == expected[i].message) << i << ": " << e["MESSAGE"].size();
        const std::vector<std::string> fields = {e["PRIORITY"], e["SYSLOG_IDENTIFIER"], e["EVENT_ID"],  e["SYSLOG_PID"],
                                                 e["_PID"],     e["SYSLOG_FACILITY"],   e["_TRANSPORT"]};
        const std::string pid = std::to_string(getpid());
        EXPECT_EQ(fields, (std::vector<std::string>{expected[i].priority, expected[i].identifier, expected[i].id, pid,
                                                    pid, "1", "journal"}))  // the native protocol, not /dev/log
            << i;
    }
}

}  // namespace
