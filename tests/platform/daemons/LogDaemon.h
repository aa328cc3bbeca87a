// A real log daemon run as the test's own child process, in a scratch
// folder of its own, and stopped when the test ends.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "LogReceiver.h"

namespace zavtest {

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Polls until done() holds or the seconds have passed; answers done().
inline bool WaitUntil(const std::function<bool()>& done, int seconds = 15) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Whether a datagram socket at path accepts a connection.
inline bool Listening(const std::string& path) {
    const int fd = UnixDatagramSocket(path, false);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

class LogDaemon {
public:
    LogDaemon() {
    }
    ~LogDaemon() { Stop(); }
    LogDaemon(const LogDaemon&) = delete;
    LogDaemon& operator=(const LogDaemon&) = delete;

    const std::string& folder() const { return folder_; }
    // What the daemon wrote to its standard output and error.
    std::string Output() const { return ReadWholeFile(folder_ + "/daemon.out"); }

    // Runs the program with its arguments; its output goes to daemon.out.
    bool Start(const std::vector<std::string>& command) {
        std::vector<char*> argv;
        for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const std::string out = folder_ + "/daemon.out";
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid_ > 0;
    }

    // Whether it still runs.
    bool Running() {
        if (pid_ <= 0) return false;
        int status;
        if (waitpid(pid_, &status, WNOHANG) == 0) return true;
        pid_ = -1;
        return false;
    }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status;
        if (!WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 10)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }

private:
    ScratchDirectory scratch_;
    std::string folder_ = scratch_.path();
    pid_t pid_ = -1;
};

// Runs body in a forked child and answers its exit code (-1 when it did not
// exit normally), and the child's pid in *pid.
template <typename Body>
int ExitCodeOfChild(Body body, pid_t* pid) {
    fflush(nullptr);
    *pid = fork();
    if (*pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    if (*pid < 0 || waitpid(*pid, &status, 0) != *pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace zavtest
