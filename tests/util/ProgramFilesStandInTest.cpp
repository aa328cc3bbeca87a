// A host installed in a folder its user cannot write, run as that ordinary
// user (nobody, when the tests run as root, who passes every permission
// check): its trace and EventLog.txt go to the user's state folder, and a
// file that cannot be opened anywhere is reported to the system log once.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/LogReceiver.h"

namespace {

const char kProgram[] = "zav_program_files_host";

enum Setup {
    kClosed,         // the program's folder closed to its user
    kEarlierTraces,  // and the state folder holding numbered traces
    kClosedHome,     // the home closed as well: nothing writable
    kReadOnly,       // the program's folder closed and a read-only mount, run as this user
    kOpen,           // the program's folder open
};

struct Scenario {
    const char* what;
    Setup setup;
    bool journal;           // the log socket stands for the journal; otherwise no daemon
    const char* stateHome;  // XDG_STATE_HOME; "": unset
    std::vector<std::string> steps;
    std::string out, err;  // the host answers 0
    std::string messages = "";  // at the journal: "identifier priority text" lines
    std::vector<std::pair<std::string, std::string>> files = {};  // a file and text it holds
};

// A program's folder, a home, a folder for a coverage build's counts, and
// the build tree's libraries under each of their names: the tree may lie in
// a folder closed to the host's user.
class Installation {
public:
    Installation() {
        const std::string commands = "cd '" + dir_.path() + "' && chmod 755 . && mkdir bin home lib counts && chmod 1777 counts &&"
                                     " cp '" ZAV_PROGRAM_FILES_HOST "' bin && cp -P '" ZAV_BUILD_DIR "'/*.so* lib";
        EXPECT_EQ(std::system((commands + (geteuid() == 0 ? " && chown 65534:65534 home" : "")).c_str()), 0);
    }

    // {D} the installation, {B} the program's folder, {S} and {H} the program's state folder under
    // XDG_STATE_HOME and under the home, {P} the program.
    std::string Expand(std::string text) const {
        const std::pair<std::string, std::string> names[] = {
            {"{D}", dir_.path()}, {"{B}", bin_}, {"{S}", dir_.File("state/") + kProgram}, {"{H}", home_ + "/.local/state/" + kProgram},
            {"{P}", kProgram}};
        for (const auto& n : names)
            for (size_t at; (at = text.find(n.first)) != std::string::npos;) text.replace(at, 3, n.second);
        return text;
    }

    // The host's exit code, its output and its errors. As root it runs as
    // nobody, or, on a read-only mount of its folder, as root in a mount
    // namespace of its own; a host that hangs is ended after a minute.
    std::vector<std::string> Run(const std::vector<std::string>& steps, const std::string& stateHome, bool readOnly) {
        std::string command = "cd '" + dir_.path() + "' && env -i HOME='" + home_ + "' ASAN_OPTIONS=detect_leaks=0 GCOV_PREFIX='" +
                              dir_.File("counts") + "' LD_LIBRARY_PATH='" + dir_.File("lib") + "':\"$LD_LIBRARY_PATH\"";
        if (!stateHome.empty()) command += " XDG_STATE_HOME='" + stateHome + "'";
        command += " timeout 60 ";
        if (readOnly) command += "unshare --mount sh -c 'mount --bind bin bin && mount -o remount,bind,ro bin && exec \"$@\"' sh";
        if (!readOnly && geteuid() == 0) command += "setpriv --reuid=65534 --regid=65534 --clear-groups";
        for (const std::string& argument : steps) command += " '" + argument + "'";
        const int status = std::system((command + " >out 2>err").c_str());
        return {std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1), ReadFile(dir_.File("out")), ReadFile(dir_.File("err"))};
    }

    ScratchDirectory dir_;
    const std::string bin_ = dir_.File("bin"), home_ = dir_.File("home");
};

// What reached the journal, as "identifier priority text" lines.
std::string Messages(zavtest::LogReceiver& receiver) {
    std::string messages;
    for (zavtest::LogReceiver::Datagram d = receiver.Next(); d.arrived; d = receiver.Next()) {
        const zavtest::JournalFields fields = zavtest::DecodeJournalEntry(d.payload);
        messages += zavtest::Field(fields, "SYSLOG_IDENTIFIER") + " " + zavtest::Field(fields, "PRIORITY") + " " +
                    zavtest::Field(fields, "MESSAGE") + "\n";
    }
    return messages;
}

TEST(ProgramFiles, WhereTheFilesGoAndWhatIsReported) {
    const Scenario scenarios[] = {
        {"a relative XDG_STATE_HOME counts as unset: the home's", kClosed, false, "relative/state",
         {"trace", "-", "event", "unset"}, "trace 1\nevent {H}/EventLog.txt 1\n", "", "",
         {{"{H}/{P}.log", "Log File={H}/{P}.log\r\n"}, {"{H}/EventLog.txt", " unset\r\n"}}},
        {"XDG_STATE_HOME's, numbered names apply there, with the library's own text log", kEarlierTraces, false, "{D}/state",
         {"win9x", "trace", "-", "trace", "given", "event", "numbered"}, "trace 1\ntrace 1\nevent  0\n", "", "",
         {{"{S}/{P}2.log", "Log File={S}/{P}2.log\r\n"}, {"{S}/{P}.log", "earlier"}, {"{S}/{P}1.log", "earlier"},
          {"{S}/given.log", "from the installed host"}, {"{S}/EventLog.txt", " numbered\r\n"}}},
        {"a read-only file system refuses them as a closed folder does", kReadOnly, false, "",
         {"trace", "-", "event", "read-only"}, "trace 1\nevent {H}/EventLog.txt 1\n", "", "",
         {{"{H}/{P}.log", "from the installed host"}, {"{H}/EventLog.txt", " read-only\r\n"}}},
        // Each file that cannot be opened anywhere is reported once: to the journal, or to standard error.
        {"nothing writable", kClosedHome, true, "",
         {"win9x", "trace", "-", "trace", "-", "event", "a", "event", "b"},
         "trace 0\ntrace 0\nevent  0\nevent  0\n", "",
         "{P} 3 cannot open {B}/{P}.log: Permission denied\n{P} 3 cannot open {B}/EventLog.txt: Permission denied\n"},
        {"nothing writable, no daemon", kClosedHome, false, "", {"event", "a", "event", "b"},
         "event {B}/EventLog.txt 0\nevent {B}/EventLog.txt 0\n", "{P}: cannot open {B}/EventLog.txt: Permission denied\n"},
        // No refusal for lack of permission: not moved, reported in the system's words.
        {"a missing folder", kOpen, false, "", {"trace", "{B}/missing/t"}, "trace 0\n",
         "{P}: cannot open {B}/missing/t.log: No such file or directory\n"},
    };
    zavtest::LogReceiver receiver;
    chmod(receiver.path().c_str(), 0666);
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.what);
        Installation at;
        if (s.setup == kEarlierTraces) {  // the folders the user's, the traces not
            std::filesystem::create_directories(at.Expand("{S}"));
            for (const char* name : {"{S}/{P}.log", "{S}/{P}1.log"}) std::ofstream(at.Expand(name)) << "earlier";
            EXPECT_TRUE(geteuid() != 0 || std::system(at.Expand("chown 65534:65534 '{D}/state' '{S}'").c_str()) == 0);
        }
        ASSERT_TRUE(s.setup != kClosedHome || chmod(at.home_.c_str(), 0555) == 0);
        ASSERT_TRUE(s.setup == kOpen || chmod(at.bin_.c_str(), 0555) == 0);  // closed to its owner too
        if (geteuid() != 0 && s.setup != kOpen && access(at.bin_.c_str(), W_OK) == 0)
            GTEST_SKIP() << "this user writes folders closed to it, and cannot become another user";
        std::vector<std::string> steps = {at.bin_ + "/" + kProgram, s.journal ? receiver.path() : "", ""};
        for (const std::string& step : s.steps) steps.push_back(at.Expand(step));
        receiver.Drain();
        const std::vector<std::string> run = at.Run(steps, at.Expand(s.stateHome), s.setup == kReadOnly);
        if (run[0] == "1" && s.setup == kReadOnly) continue;  // no mount namespace here: the host never answers 1
        if (run[0] == "1") GTEST_SKIP() << "cannot become an unprivileged user here";
        EXPECT_EQ(run, (std::vector<std::string>{"0", at.Expand(s.out), at.Expand(s.err)}));
        EXPECT_EQ(Messages(receiver), at.Expand(s.messages));
        for (const auto& file : s.files)
            EXPECT_NE(ReadFile(at.Expand(file.first)).find(at.Expand(file.second)), std::string::npos) << file.first;
        // The folders made for the user are the user's alone; nothing lands beside the program.
        struct stat info;
        for (const std::string& made : {at.home_ + "/.local", at.home_ + "/.local/state"})
            EXPECT_TRUE(stat(made.c_str(), &info) != 0 || (info.st_mode & 0777) == 0700) << made;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(at.bin_), std::filesystem::directory_iterator()), 1);
        EXPECT_FALSE(s.setup == kOpen && std::filesystem::exists(at.Expand("{H}")));
    }
}

}  // namespace
