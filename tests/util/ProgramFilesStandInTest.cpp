// A host installed in a folder its user cannot write, run as that ordinary
// user (nobody, when the tests run as root, who passes every permission
// check): its trace and EventLog.txt go to the user's state folder, and a
// file that cannot be opened anywhere is reported to the system log once.
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScratchDirectory.h"
#include "platform/LogReceiver.h"

namespace {

const char kProgram[] = "zav_program_files_host";
const int kCannotDrop = 125, kCannotRun = 126, kCannotMount = 124;

uid_t HostUser() { return geteuid() == 0 ? 65534 : geteuid(); }
gid_t HostGroup() { return geteuid() == 0 ? 65534 : getegid(); }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The build tree's libraries, which this process has loaded, copied into
// folder under each of their names (x.so.4.1.2, x.so.4.1, x.so.4, x.so): the
// tree may lie in a folder closed to the host's user.
void CopyBuildLibraries(const std::string& folder) {
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> copied;
    for (std::string line; std::getline(maps, line);) {
        const std::string path = line.substr(std::min(line.find('/'), line.size()));
        if (path.rfind(ZAV_BUILD_DIR "/", 0) != 0 || !Contains(path, ".so") || !copied.insert(path).second) continue;
        std::string name = path.substr(path.rfind('/') + 1);
        std::filesystem::copy_file(path, folder + "/" + name);
        for (size_t dot; (dot = name.rfind('.')) != std::string::npos && name.substr(dot) != ".so";)
            std::filesystem::create_symlink(path.substr(path.rfind('/') + 1), folder + "/" + name.erase(dot));
    }
}

std::vector<char*> Pointers(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

struct HostRun {
    int exitCode = -1;  // -1: it did not end by itself
    std::string out, err;
};

class ProgramFiles : public ::testing::Test {
protected:
    void SetUp() override {
        chmod(dir_.path().c_str(), 0755);
        bin_ = dir_.File("bin");
        ASSERT_EQ(mkdir(bin_.c_str(), 0755), 0);
        host_ = bin_ + "/" + kProgram;
        std::filesystem::copy_file(ZAV_PROGRAM_FILES_HOST, host_);
        ASSERT_EQ(chmod(bin_.c_str(), 0555), 0);  // closed to its owner as well, for a user who is not root
        if (geteuid() != 0 && access(bin_.c_str(), W_OK) == 0)
            GTEST_SKIP() << "this user writes folders closed to it, and cannot become another user";
        home_ = HostFolder("home");
        libraries_ = dir_.File("lib");
        ASSERT_EQ(mkdir(libraries_.c_str(), 0755), 0);
        CopyBuildLibraries(libraries_);
        chmod(receiver_.path().c_str(), 0666);
    }

    // A folder the host's user owns.
    std::string HostFolder(const std::string& name) {
        const std::string path = dir_.File(name);
        EXPECT_EQ(mkdir(path.c_str(), 0755), 0);
        EXPECT_EQ(chown(path.c_str(), HostUser(), HostGroup()), 0);
        return path;
    }

    // The host run with the steps, HOME and, unless null, XDG_STATE_HOME;
    // with readOnly, as this user, the program's folder a read-only mount in
    // a mount namespace of its own.
    HostRun Start(const std::vector<std::string>& steps, const char* stateHome = nullptr, bool readOnly = false) {
        // A build with coverage counts writes them where the host's user may,
        // even with nothing else writable.
        const std::string counts = dir_.File("counts");
        mkdir(counts.c_str(), 0777);
        chmod(counts.c_str(), 01777);
        const char* libraryPath = getenv("LD_LIBRARY_PATH");
        std::vector<std::string> environment = {"HOME=" + home_, "ASAN_OPTIONS=detect_leaks=0", "GCOV_PREFIX=" + counts,
                                                "LD_LIBRARY_PATH=" + libraries_ + (libraryPath ? std::string(":") + libraryPath : "")};
        if (stateHome != nullptr) environment.push_back(std::string("XDG_STATE_HOME=") + stateHome);
        std::vector<std::string> arguments = {host_};
        arguments.insert(arguments.end(), steps.begin(), steps.end());
        std::vector<char*> argv = Pointers(arguments), envp = Pointers(environment);
        const std::string out = dir_.File("out"), err = dir_.File("err");
        const pid_t child = fork();
        if (child == 0) {
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), 2);
            if (chdir(dir_.path().c_str()) != 0) _exit(kCannotRun);
            if (readOnly && (unshare(CLONE_NEWNS) != 0 ||
                             mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                             mount(bin_.c_str(), bin_.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
                             mount(nullptr, bin_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0))
                _exit(kCannotMount);
            const gid_t group = HostGroup();
            const uid_t user = HostUser();
            if (!readOnly && geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setresgid(group, group, group) != 0 || setresuid(user, user, user) != 0))
                _exit(kCannotDrop);
            alarm(60);
            execve(argv[0], argv.data(), envp.data());
            _exit(kCannotRun);
        }
        int status = 0;
        waitpid(child, &status, 0);  // a host that hangs is ended by its alarm
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
    }

    ScratchDirectory dir_;
    zavtest::LogReceiver receiver_;
    std::string bin_, host_, home_, libraries_;
};

#define ZAV_EXPECT_RAN(run, code)                                                                     \
    do {                                                                                              \
        if ((run).exitCode == kCannotDrop) GTEST_SKIP() << "cannot become an unprivileged user here"; \
        if ((run).exitCode == kCannotMount) GTEST_SKIP() << "cannot mount a read-only folder here";    \
        ASSERT_NE((run).exitCode, kCannotRun) << "the host cannot be run by its user";                 \
        EXPECT_EQ((run).exitCode, code) << (run).err;                                                 \
    } while (0)

TEST_F(ProgramFiles, AFolderThatRefusesTheFilesHandsThemToTheStateFolder) {
    const std::string state = HostFolder("state");
    const std::string inState = state + "/" + kProgram + "/", inHome = home_ + "/.local/state/" + kProgram + "/";
    const std::string own = std::string(kProgram) + ".log";
    const struct {
        const char* what;
        const char* stateHome;  // null: unset
        std::string folder;
        std::vector<std::string> present;  // trace files there before
        std::string trace;                 // the file the trace lands in
        bool win9x;                        // the library's own text log, not the stand-in's
    } cases[] = {
        {"XDG_STATE_HOME set", state.c_str(), inState, {}, own, false},
        {"XDG_STATE_HOME unset: the home's", nullptr, inHome, {}, own, false},
        {"a relative XDG_STATE_HOME counts as unset", "relative/state", inHome, {}, own, false},
        {"the numbered names apply there", state.c_str(), inState, {".log", "1.log"},
         std::string(kProgram) + "2.log", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.present.empty()) {
            ASSERT_EQ(mkdir(c.folder.c_str(), 0700), 0);
            ASSERT_EQ(chown(c.folder.c_str(), HostUser(), HostGroup()), 0);
        }
        for (const std::string& p : c.present) std::ofstream(c.folder + kProgram + p) << "earlier";
        std::vector<std::string> steps = {"sockets", "", "", "trace", "-", "trace", "given", "event", c.what};
        if (c.win9x) steps.insert(steps.begin(), "win9x");
        const HostRun run = Start(steps, c.stateHome);
        ZAV_EXPECT_RAN(run, 0);
        EXPECT_EQ(run.out.substr(0, 16), "trace 1\ntrace 1\n");
        const std::string trace = ReadFile(c.folder + c.trace);
        EXPECT_TRUE(Contains(trace, "Log File=" + c.folder + c.trace + "\r\n")) << trace;
        EXPECT_TRUE(Contains(trace, "from the installed host")) << trace;
        EXPECT_TRUE(Contains(ReadFile(c.folder + "given.log"), "from the installed host"));
        for (const std::string& p : c.present) EXPECT_EQ(ReadFile(c.folder + kProgram + p), "earlier");
        EXPECT_TRUE(Contains(ReadFile(c.folder + "EventLog.txt"), std::string(" ") + c.what + "\r\n"));
        if (!c.win9x) {
            EXPECT_TRUE(Contains(run.out, "event " + c.folder + "EventLog.txt 1\n")) << run.out;
        }
        EXPECT_EQ(run.err, "");
        std::filesystem::remove_all(c.folder);
    }
    // The folders made for the user are the user's alone.
    for (const std::string& made : {home_ + "/.local", home_ + "/.local/state"}) {
        struct stat info;
        ASSERT_EQ(stat(made.c_str(), &info), 0) << made;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(bin_), std::filesystem::directory_iterator()), 1)
        << "nothing beside the program";
}

// Nothing writable: the program's folder, nor the home. Each file that
// cannot be opened is reported once, past the event log's flood limit.
TEST_F(ProgramFiles, AFileThatCannotBeOpenedAnywhereIsReportedOnce) {
    ASSERT_EQ(chmod(home_.c_str(), 0555), 0);
    const std::string trace = bin_ + "/" + kProgram + ".log", textLog = bin_ + "/EventLog.txt";
    for (bool journal : {true, false}) {
        SCOPED_TRACE(journal ? "journal" : "syslog");
        const HostRun run = Start({"win9x", "sockets", journal ? receiver_.path() : "", journal ? "" : receiver_.path(),
                                   "trace", "-", "trace", "-", "event", "a", "event", "b"});
        ZAV_EXPECT_RAN(run, 0);
        EXPECT_EQ(run.out.substr(0, 16), "trace 0\ntrace 0\n");
        std::vector<std::string> messages;
        for (zavtest::LogReceiver::Datagram d = receiver_.Next(); d.arrived; d = receiver_.Next()) {
            const zavtest::JournalFields fields = zavtest::DecodeJournalEntry(d.payload);
            const zavtest::SyslogLine line = zavtest::ParseSyslogLine(d.payload);
            messages.push_back(journal ? zavtest::Field(fields, "MESSAGE") : line.message);
            EXPECT_EQ(journal ? zavtest::Field(fields, "SYSLOG_IDENTIFIER") : line.identifier, kProgram);
            EXPECT_EQ(journal ? std::stoi(zavtest::Field(fields, "PRIORITY")) : line.priority - 8, 3) << "error";
        }
        EXPECT_EQ(messages, (std::vector<std::string>{"cannot open " + trace + ": Permission denied",
                                                      "cannot open " + textLog + ": Permission denied"}));
    }

    // With no daemon the stand-in's own text log is the outlet; its failure
    // goes to standard error, once.
    const HostRun alone = Start({"sockets", "", "", "event", "a", "event", "b"});
    ZAV_EXPECT_RAN(alone, 0);
    EXPECT_EQ(alone.out, "event " + textLog + " 0\nevent " + textLog + " 0\n");
    EXPECT_EQ(alone.err, std::string(kProgram) + ": cannot open " + textLog + ": Permission denied\n");

    // The reports do not count toward the flood limit: with a limit of one,
    // the first event after the trace's report is taken, the second ends
    // the process with the limit's code.
    receiver_.Drain();
    const HostRun flood =
        Start({"sockets", receiver_.path(), "", "limit", "1", "trace", "-", "event", "a", "event", "b"});
    ZAV_EXPECT_RAN(flood, 112);
    EXPECT_EQ(flood.out, "trace 0\nevent " + receiver_.path() + " 1\n");
}

// A read-only file system refuses the files as a closed folder does.
TEST_F(ProgramFiles, AReadOnlyFolderHandsThemToTheStateFolder) {
    const std::string folder = home_ + "/.local/state/" + kProgram + "/";
    const HostRun run = Start({"sockets", "", "", "trace", "-", "event", "read-only"}, nullptr, true);
    ZAV_EXPECT_RAN(run, 0);
    EXPECT_EQ(run.out, "trace 1\nevent " + folder + "EventLog.txt 1\n");
    EXPECT_TRUE(Contains(ReadFile(folder + kProgram + ".log"), "from the installed host"));
    EXPECT_TRUE(Contains(ReadFile(folder + "EventLog.txt"), " read-only\r\n"));
}

// A folder in the file's place, or a missing folder, is no refusal for lack
// of permission: the file is not moved, and the failure is reported as what
// it is, in the system's words.
TEST_F(ProgramFiles, OtherFailuresAreReportedNotMoved) {
    ASSERT_EQ(chmod(bin_.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((bin_ + "/EventLog.txt").c_str(), 0755), 0);
    const struct {
        std::vector<std::string> steps;
        std::string out, file, error;
    } cases[] = {
        {{"event", "a"}, "event " + bin_ + "/EventLog.txt 0\n", bin_ + "/EventLog.txt", "Is a directory"},
        {{"trace", bin_ + "/missing/t"}, "trace 0\n", bin_ + "/missing/t.log", "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<std::string> steps = {"sockets", "", ""};
        steps.insert(steps.end(), c.steps.begin(), c.steps.end());
        const HostRun run = Start(steps);
        ZAV_EXPECT_RAN(run, 0);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, std::string(kProgram) + ": cannot open " + c.file + ": " + c.error + "\n");
    }
    EXPECT_FALSE(std::filesystem::exists(home_ + "/.local/state/" + kProgram));
}

}  // namespace
