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

enum Setup {
    kClosed,        // the program's folder closed to its user
    kEarlierTraces, // and the state folder holding numbered traces
    kClosedHome,    // the home closed as well: nothing writable
    kFolderInPlace, // the program's folder open, a folder named EventLog.txt in it
};

struct Scenario {
    const char* what;
    Setup setup;
    const char* stateHome;  // XDG_STATE_HOME; null: unset
    bool readOnly;          // run as this user, the program's folder a read-only mount
    std::vector<std::string> steps;
    int exitCode;
    std::string out, err;
    std::vector<std::string> messages = {};  // at the system log: "identifier priority text"
    std::vector<std::pair<std::string, std::string>> files = {};  // a file and a part of it
};

// A program's folder, a home and the libraries, for one scenario.
class Installation {
public:
    Installation() {
        chmod(dir_.path().c_str(), 0755);
        bin_ = dir_.File("bin");
        mkdir(bin_.c_str(), 0755);
        std::filesystem::copy_file(ZAV_PROGRAM_FILES_HOST, bin_ + "/" + kProgram);
        home_ = HostFolder("home");
        mkdir(dir_.File("lib").c_str(), 0755);
        CopyBuildLibraries(dir_.File("lib"));
    }

    std::string HostFolder(const std::string& name) {
        const std::string path = dir_.File(name);
        EXPECT_EQ(mkdir(path.c_str(), 0755), 0);
        EXPECT_EQ(chown(path.c_str(), HostUser(), HostGroup()), 0);
        return path;
    }

    // {D} the installation, {B} the program's folder, {S} and {H} the program's state folder under
    // XDG_STATE_HOME and under the home, {L} the log socket, {P} the program.
    std::string Expand(std::string text, const std::string& log) const {
        const std::pair<std::string, std::string> names[] = {
            {"{D}", dir_.path()}, {"{B}", bin_}, {"{S}", dir_.File("state/") + kProgram}, {"{H}", home_ + "/.local/state/" + kProgram},
            {"{L}", log},  {"{P}", kProgram}};
        for (const auto& n : names)
            for (size_t at; (at = text.find(n.first)) != std::string::npos;) text.replace(at, 3, n.second);
        return text;
    }

    // The host's exit code, its output and its errors.
    std::vector<std::string> Run(std::vector<std::string> arguments, const char* stateHome, bool readOnly) {
        // A build with coverage counts writes them where the host's user may.
        const std::string counts = dir_.File("counts"), out = dir_.File("out"), err = dir_.File("err");
        mkdir(counts.c_str(), 0777);
        chmod(counts.c_str(), 01777);
        const char* libraryPath = getenv("LD_LIBRARY_PATH");
        std::vector<std::string> environment = {
            "HOME=" + home_, "ASAN_OPTIONS=detect_leaks=0", "GCOV_PREFIX=" + counts,
            "LD_LIBRARY_PATH=" + dir_.File("lib") + (libraryPath ? std::string(":") + libraryPath : "")};
        if (stateHome != nullptr) environment.push_back(std::string("XDG_STATE_HOME=") + stateHome);
        arguments.insert(arguments.begin(), bin_ + "/" + kProgram);
        std::vector<char*> argv = Pointers(arguments), envp = Pointers(environment);
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
        return {std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1), ReadFile(out), ReadFile(err)};
    }

    ScratchDirectory dir_;
    std::string bin_, home_;
};

// What reached the system log, from the journal or as syslog lines.
std::vector<std::string> Messages(zavtest::LogReceiver& receiver) {
    std::vector<std::string> messages;
    for (zavtest::LogReceiver::Datagram d = receiver.Next(); d.arrived; d = receiver.Next()) {
        const zavtest::JournalFields fields = zavtest::DecodeJournalEntry(d.payload);
        const zavtest::SyslogLine line = zavtest::ParseSyslogLine(d.payload);
        messages.push_back(d.payload[0] == '<' ? line.identifier + " " + std::to_string(line.priority - 8) + " " + line.message
                                               : zavtest::Field(fields, "SYSLOG_IDENTIFIER") + " " +
                                                     zavtest::Field(fields, "PRIORITY") + " " +
                                                     zavtest::Field(fields, "MESSAGE"));
    }
    return messages;
}

TEST(ProgramFiles, WhereTheFilesGoAndWhatIsReported) {
    const std::string denied = "{P} 3 cannot open {B}/{P}.log: Permission denied";
    const Scenario scenarios[] = {
        {"XDG_STATE_HOME set", kClosed, "{D}/state", false, {"trace", "-", "trace", "given", "event", "set"}, 0,
         "trace 1\ntrace 1\nevent {S}/EventLog.txt 1\n", "", {},
         {{"{S}/{P}.log", "Log File={S}/{P}.log\r\n"}, {"{S}/given.log", "from the installed host"},
          {"{S}/EventLog.txt", " set\r\n"}}},
        {"XDG_STATE_HOME unset: the home's", kClosed, nullptr, false, {"trace", "-", "event", "unset"}, 0,
         "trace 1\nevent {H}/EventLog.txt 1\n", "", {},
         {{"{H}/{P}.log", "from the installed host"}, {"{H}/EventLog.txt", " unset\r\n"}}},
        {"a relative XDG_STATE_HOME counts as unset", kClosed, "relative/state", false, {"trace", "-"}, 0,
         "trace 1\n", "", {}, {{"{H}/{P}.log", "Log File={H}/{P}.log\r\n"}}},
        {"the numbered names apply there, with the library's own text log", kEarlierTraces, "{D}/state", false,
         {"win9x", "trace", "-", "event", "numbered"}, 0, "trace 1\nevent  0\n", "", {},
         {{"{S}/{P}2.log", "Log File={S}/{P}2.log\r\n"}, {"{S}/{P}.log", "earlier"}, {"{S}/{P}1.log", "earlier"},
          {"{S}/EventLog.txt", " numbered\r\n"}}},
        {"a read-only file system refuses them as a closed folder does", kClosed, nullptr, true,
         {"trace", "-", "event", "read-only"}, 0, "trace 1\nevent {H}/EventLog.txt 1\n", "", {},
         {{"{H}/{P}.log", "from the installed host"}, {"{H}/EventLog.txt", " read-only\r\n"}}},
        // Each file that cannot be opened anywhere is reported once: to the journal, to syslog, to standard error.
        {"nothing writable", kClosedHome, nullptr, false,
         {"win9x", "sockets", "{L}", "", "trace", "-", "trace", "-", "event", "a", "event", "b"}, 0,
         "trace 0\ntrace 0\nevent  0\nevent  0\n", "", {denied, "{P} 3 cannot open {B}/EventLog.txt: Permission denied"}},
        {"nothing writable", kClosedHome, nullptr, false, {"sockets", "", "{L}", "trace", "-", "trace", "-"}, 0,
         "trace 0\ntrace 0\n", "", {denied}},
        {"nothing writable, no daemon", kClosedHome, nullptr, false, {"event", "a", "event", "b"}, 0,
         "event {B}/EventLog.txt 0\nevent {B}/EventLog.txt 0\n", "{P}: cannot open {B}/EventLog.txt: Permission denied\n"},
        // The report does not count toward a flood limit of one: the second event ends the process.
        {"reports are no events", kClosedHome, nullptr, false,
         {"sockets", "{L}", "", "limit", "1", "trace", "-", "event", "a", "event", "b"}, 112, "trace 0\nevent {L} 1\n", "",
         {denied, "ProgramFilesHost 3 a", "ProgramFilesHost 3 **** Process terminated due to too many error messages. ****"}},
        // No refusal for lack of permission: not moved, reported in the system's words.
        {"a folder in the file's place", kFolderInPlace, nullptr, false, {"event", "a"}, 0, "event {B}/EventLog.txt 0\n",
         "{P}: cannot open {B}/EventLog.txt: Is a directory\n"},
        {"a missing folder", kFolderInPlace, nullptr, false, {"trace", "{B}/missing/t"}, 0, "trace 0\n",
         "{P}: cannot open {B}/missing/t.log: No such file or directory\n"},
    };
    zavtest::LogReceiver receiver;
    chmod(receiver.path().c_str(), 0666);
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.what);
        Installation at;
        const auto expand = [&](const std::string& text) { return at.Expand(text, receiver.path()); };
        if (s.setup == kEarlierTraces) {
            at.HostFolder("state");
            at.HostFolder("state/" + std::string(kProgram));
            for (const char* name : {"{S}/{P}.log", "{S}/{P}1.log"}) std::ofstream(expand(name)) << "earlier";
        }
        ASSERT_TRUE(s.setup != kClosedHome || chmod(at.home_.c_str(), 0555) == 0);
        ASSERT_TRUE(s.setup != kFolderInPlace || mkdir((at.bin_ + "/EventLog.txt").c_str(), 0755) == 0);
        if (s.stateHome != nullptr && s.stateHome[0] == '{' && s.setup != kEarlierTraces) at.HostFolder("state");
        ASSERT_TRUE(s.setup == kFolderInPlace || chmod(at.bin_.c_str(), 0555) == 0);  // closed to its owner too
        if (geteuid() != 0 && access(at.bin_.c_str(), W_OK) == 0)
            GTEST_SKIP() << "this user writes folders closed to it, and cannot become another user";
        std::vector<std::string> steps = {"sockets", "", ""};  // no daemon unless a step says so
        for (const std::string& step : s.steps) steps.push_back(expand(step));
        receiver.Drain();
        const std::string stateHome = expand(s.stateHome != nullptr ? s.stateHome : "");
        const std::vector<std::string> run = at.Run(steps, s.stateHome ? stateHome.c_str() : nullptr, s.readOnly);
        if (run[0] == std::to_string(kCannotDrop)) GTEST_SKIP() << "cannot become an unprivileged user here";
        if (run[0] == std::to_string(kCannotMount)) continue;  // no read-only mount here
        EXPECT_EQ(run, (std::vector<std::string>{std::to_string(s.exitCode), expand(s.out), expand(s.err)}));
        std::vector<std::string> messages;
        for (const std::string& m : s.messages) messages.push_back(expand(m));
        EXPECT_EQ(Messages(receiver), messages);
        for (const auto& file : s.files) EXPECT_TRUE(Contains(ReadFile(expand(file.first)), expand(file.second))) << file.first;
        // The folders made for the user are the user's alone; nothing lands beside the program.
        for (const std::string& made : {at.home_ + "/.local", at.home_ + "/.local/state"}) {
            struct stat info;
            EXPECT_TRUE(stat(made.c_str(), &info) != 0 || (info.st_mode & 0777) == 0700) << made;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(at.bin_), std::filesystem::directory_iterator()),
                  s.setup == kFolderInPlace ? 2 : 1);
        EXPECT_FALSE(s.setup == kFolderInPlace && std::filesystem::exists(expand("{H}")));
    }
}

}  // namespace
