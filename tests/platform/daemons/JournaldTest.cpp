// The event log against a real systemd-journald. The journal listens on a
// fixed path, so each test gives this process a mount namespace of its own
// with a fresh tmpfs over /run, starts journald there (no system journal
// is touched, none needs to run) and reads the entries back with journalctl.
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/mount.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LogDaemon.h"
#include "LogReceiver.h"
#include "ZAVEventOutlet.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

namespace {

const char kJournald[] = "/lib/systemd/systemd-journald";
const char kJournalSocket[] = "/run/systemd/journal/socket";

bool WriteText(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
}

// Once per process: a mount namespace whose mounts stay private to it. As
// root that takes no more; other users get a user namespace in which they
// are root. Answers "" or why it failed.
std::string EnterPrivateMounts() {
    static std::string failure = "not tried";
    if (failure != "not tried") return failure;
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    failure.clear();
    if (unshare(CLONE_NEWNS | (uid != 0 ? CLONE_NEWUSER : 0)) != 0) {
        failure = std::string("unshare: ") + strerror(errno) + (uid != 0 ? " (run as root)" : "");
    } else if (uid != 0 && !(WriteText("/proc/self/setgroups", "deny") &&
                             WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                             WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))) {
        failure = "cannot map the user into its namespace";
    } else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        failure = std::string("making / private: ") + strerror(errno);
    }
    return failure;
}

// Entries journalctl reads back from the journal files under /run.
std::vector<zavtest::JournalFields> JournalEntries(const std::string& match) {
    std::vector<zavtest::JournalFields> entries;
    FILE* out = popen(("journalctl -D /run/log/journal -o export --no-pager " + match + " 2>/dev/null").c_str(), "r");
    if (out == nullptr) return entries;
    std::string text;
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, out)) > 0;) text.append(chunk, n);
    pclose(out);
    for (size_t at = 0; at < text.size();) {
        bool ok = false;
        zavtest::JournalFields entry = zavtest::DecodeJournalEntry(text, at, &at, &ok);
        if (!ok || entry.empty()) break;
        entries.push_back(std::move(entry));
    }
    return entries;
}

class Journald : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kJournald, X_OK) != 0) GTEST_SKIP() << kJournald << " is not installed (Debian package systemd)";
        const std::string failure = EnterPrivateMounts();
        ASSERT_EQ(failure, "") << "a private mount namespace is needed for a journal of the test's own";
        ASSERT_EQ(mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755"), 0) << strerror(errno);
        mounted_ = true;
        ASSERT_TRUE(daemon_.Start({kJournald}));
        ASSERT_TRUE(zavtest::WaitUntil([&] { return zavtest::Listening(kJournalSocket) || !daemon_.Running(); }) &&
                    daemon_.Running())
            << "systemd-journald did not start:\n"
            << daemon_.Output();
        ZAVPlatformTest_SetEventLogSockets(nullptr, nullptr);  // the system's paths, as a host has them
        g_LogEntriesCount = 0;
    }
    void TearDown() override {
        daemon_.Stop();
        if (mounted_) umount2("/run", MNT_DETACH);
        g_LogEntriesCount = 0;
    }

    // This process's entries, once count of them are there (or after the wait).
    std::vector<zavtest::JournalFields> OwnEntries(size_t count) {
        const std::string match = "SYSLOG_PID=" + std::to_string(getpid());
        std::vector<zavtest::JournalFields> entries;
        zavtest::WaitUntil([&] { return (entries = JournalEntries(match)).size() >= count; });
        return entries;
    }

    zavtest::LogDaemon daemon_;
    bool mounted_ = false;
};

TEST_F(Journald, EntriesCarryMessagePriorityIdentifierPidAndEventId) {
    ZAVLinkAnchor list = {};
    ZAVMsg* msg = ZAV_MsgCreate(&list, 777, ZAVCatWarning50, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(msg, u"second line \u2713");
    ZAV_LogEvent(*msg, u"first line%n%1", u"Z\u00e4hler Dienst");
    ZAV_MsgDestroyAll(&list);
    ZAV_LogEvent(ZAVCatInfo6, u"information", 5, nullptr);
    ZAV_LogEvent(ZAVCatError90, u"error \u65e5\u672c", 6, u"Agent");

    char where[256];
    BOOL taken = FALSE;
    EXPECT_EQ(ZAVPlatform_LastEventReport(where, sizeof where, &taken), ZAVEventOutletJournal);
    EXPECT_STREQ(where, kJournalSocket);
    EXPECT_TRUE(taken);

    const std::vector<zavtest::JournalFields> entries = OwnEntries(3);
    ASSERT_EQ(entries.size(), 3u) << daemon_.Output();
    struct Expected {
        const char *message, *priority, *identifier;
    } expected[] = {{"first line\r\nsecond line \xe2\x9c\x93", "4", "Z\xc3\xa4hler Dienst"},
                    {"information", "6", "ZAVMsg"},
                    {"error \xe6\x97\xa5\xe6\x9c\xac", "3", "Agent"}};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const zavtest::JournalFields& e = entries[i];
        EXPECT_EQ(zavtest::Field(e, "MESSAGE"), expected[i].message);
        EXPECT_EQ(zavtest::Field(e, "PRIORITY"), expected[i].priority);
        EXPECT_EQ(zavtest::Field(e, "SYSLOG_IDENTIFIER"), expected[i].identifier);
        EXPECT_EQ(zavtest::Field(e, "SYSLOG_PID"), std::to_string(getpid()));
        EXPECT_EQ(zavtest::Field(e, "SYSLOG_FACILITY"), "1");
        EXPECT_EQ(zavtest::Field(e, "EVENT_ID"), "1");  // whatever the message's number
        EXPECT_EQ(zavtest::Field(e, "_TRANSPORT"), "journal");  // the native protocol, not /dev/log
        EXPECT_EQ(zavtest::Field(e, "_PID"), std::to_string(getpid()));
    }
    EXPECT_EQ(g_LogEntriesCount, 3);
}

TEST_F(Journald, AnEntryTooLargeForADatagramArrivesWhole) {
    std::u16string text;
    std::string expected;
    for (int i = 0; i < 30000; ++i) {
        text += u"zeile \u00e4\n";
        expected += "zeile \xc3\xa4\n";
    }
    HANDLE events = RegisterEventSourceW(nullptr, u"Big");
    ASSERT_NE(events, nullptr);
    LPCWSTR strings[] = {text.c_str()};
    EXPECT_TRUE(ReportEventW(events, EVENTLOG_ERROR_TYPE, 0, 3, nullptr, 1, 0, strings, nullptr));
    DeregisterEventSource(events);

    const std::vector<zavtest::JournalFields> entries = OwnEntries(1);
    ASSERT_EQ(entries.size(), 1u) << daemon_.Output();
    const std::string message = zavtest::Field(entries[0], "MESSAGE");
    EXPECT_EQ(message.size(), expected.size());
    EXPECT_TRUE(message == expected);
    EXPECT_EQ(zavtest::Field(entries[0], "EVENT_ID"), "3");
}

}  // namespace
