// A datagram socket standing in for a log daemon, and readers of what the
// event log sends it: journal entries (binary safe: values are length-counted,
// never split at newlines) and syslog lines. The daemon tests use them too.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "ScratchDirectory.h"

namespace zavtest {

typedef std::map<std::string, std::string> JournalFields;

// Entries of "KEY=value\n" or "KEY\n" + 64-bit little-endian size + value +
// "\n", an empty line ending each (the export format); none if malformed.
inline std::vector<JournalFields> DecodeJournal(const std::string& b) {
    std::vector<JournalFields> entries(1);
    for (size_t at = 0; at < b.size();) {
        const size_t end = b.find('\n', at), equals = b.find('=', at);
        if (end == std::string::npos) return {};
        const std::string key = b.substr(at, std::min(end, equals) - at);
        at = end + 1;
        if (key.empty()) {
            entries.emplace_back();
        } else if (equals < end) {
            entries.back()[key] = b.substr(equals + 1, end - equals - 1);
        } else {
            uint64_t size = 0;
            if (b.size() - at < 8) return {};
            for (int i = 7; i >= 0; --i) size = size << 8 | static_cast<unsigned char>(b[at + i]);
            at += 8;
            if (b.size() - at < size + 1 || b[at + size] != '\n') return {};
            entries.back()[key] = b.substr(at, size);
            at += size + 1;
        }
    }
    if (entries.back().empty()) entries.pop_back();
    return entries;
}

struct SyslogLine {
    int priority = -1;  // -1: not a syslog line
    std::string stamp, identifier, pid, message;
};

// "<PRI>Mmm dd hh:mm:ss IDENT[PID]: MESSAGE", as syslog(3) sends it.
inline SyslogLine ParseSyslogLine(const std::string& line) {
    static const std::regex header("<([0-9]+)>((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] "
                                   "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]) ([^ \\[\\]:]+)\\[([0-9]+)\\]: ");
    SyslogLine s;
    const size_t end = line.find("]: ");  // the message may be long: the pattern sees only the header
    std::smatch m;
    const std::string head = line.substr(0, end == std::string::npos ? 0 : end + 3);
    if (!std::regex_match(head, m, header)) return s;
    return {std::stoi(m[1]), m[2], m[4], m[5], line.substr(end + 3)};
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

// A scratch folder and a bound datagram socket in it.
class LogReceiver {
public:
    ~LogReceiver() { close(fd_); }
    const std::string& path() const { return path_; }

    struct Datagram {
        bool arrived = false;
        std::string payload, attachment;  // the first SCM_RIGHTS descriptor's content
        int descriptors = 0, seals = -1;  // F_GET_SEALS of the first one
    };

    // The next datagram, waiting up to a second for it.
    Datagram Next() {
        Datagram d;
        pollfd wait = {fd_, POLLIN, 0};
        std::vector<char> buffer(1 << 20);
        iovec part = {buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = poll(&wait, 1, 1000) == 1 ? recvmsg(fd_, &message, MSG_CMSG_CLOEXEC) : -1;
        if (n < 0) return d;
        d.arrived = true;
        d.payload.assign(buffer.data(), static_cast<size_t>(n));
        for (cmsghdr* h = CMSG_FIRSTHDR(&message); h != nullptr; h = CMSG_NXTHDR(&message, h))
            for (size_t i = 0; h->cmsg_type == SCM_RIGHTS && i < (h->cmsg_len - CMSG_LEN(0)) / sizeof(int); ++i) {
                const int fd = reinterpret_cast<int*>(CMSG_DATA(h))[i];
                if (d.descriptors++ == 0) {
                    d.seals = fcntl(fd, F_GET_SEALS);
                    for (ssize_t got; (got = pread(fd, buffer.data(), buffer.size(), d.attachment.size())) > 0;)
                        d.attachment.append(buffer.data(), static_cast<size_t>(got));
                }
                close(fd);
            }
        return d;
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
