// Reports to the event log, and a datagram socket standing in for a log
// daemon: what the event log sends it, and whether a real daemon listens yet.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ScratchDirectory.h"
#include "ZAVPlatform.h"

namespace zavtest {

// One source registered, one report made with the strings, the source gone;
// answers the result, and the last error in *error.
inline BOOL Report(const char16_t* source, WORD type, DWORD id, std::vector<std::u16string> strings,
                   DWORD* error = nullptr) {
    HANDLE events = RegisterEventSourceW(nullptr, source);
    std::vector<LPCWSTR> pointers;
    for (const std::u16string& s : strings) pointers.push_back(s.c_str());
    const BOOL result = events != nullptr &&
                        ReportEventW(events, type, 0, id, nullptr, WORD(pointers.size()), 0, pointers.data(), nullptr);
    if (error != nullptr) *error = GetLastError();
    DeregisterEventSource(events);
    return result;
}

// A datagram socket bound (listen) or connected to path; -1 when that fails.
inline int UnixDatagramSocket(const std::string& path, bool listen) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    path.copy(address.sun_path, path.size());
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr* to = reinterpret_cast<const sockaddr*>(&address);
    if ((listen ? bind(fd, to, sizeof address) : connect(fd, to, sizeof address)) == 0) return fd;
    close(fd);
    return -1;
}

// A bound datagram socket in a scratch folder.
class LogReceiver {
public:
    ~LogReceiver() { close(fd_); }
    const std::string& path() const { return path_; }

    // The next datagram, waiting up to a second for it ("" if none came).
    std::string Next() {
        std::string buffer(1 << 20, 0);
        pollfd wait = {fd_, POLLIN, 0};
        const ssize_t n = poll(&wait, 1, 1000) == 1 ? recv(fd_, &buffer[0], buffer.size(), 0) : 0;
        return buffer.substr(0, n > 0 ? size_t(n) : 0);
    }

    // Reads and drops every queued datagram.
    void Drain() {
        for (char byte; recv(fd_, &byte, 1, MSG_DONTWAIT) >= 0;) {
        }
    }

private:
    ScratchDirectory directory_;
    std::string path_ = directory_.File("log");
    int fd_ = UnixDatagramSocket(path_, true);
};

}  // namespace zavtest
