// A datagram socket standing in for a log daemon, and readers of what the
// event log sends it: journal entries decoded by the native protocol (binary
// safe: values are length-counted, never split at newlines) and syslog lines.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "ScratchDirectory.h"

namespace zavtest {

// Fields in their order; a key may repeat.
typedef std::vector<std::pair<std::string, std::string>> JournalFields;

// Decodes one entry: "KEY=value\n", or "KEY\n" + 64-bit little-endian size +
// value + "\n". Stops at an empty line (the export format's entry end) and
// reports where it stopped in *end; *ok turns false on malformed input.
inline JournalFields DecodeJournalEntry(const std::string& bytes, size_t start = 0, size_t* end = nullptr,
                                        bool* ok = nullptr) {
    JournalFields fields;
    size_t at = start;
    bool good = true;
    while (at < bytes.size() && bytes[at] != '\n') {
        const size_t lineEnd = bytes.find('\n', at);
        if (lineEnd == std::string::npos) {
            good = false;
            break;
        }
        const size_t equals = bytes.find('=', at);
        if (equals != std::string::npos && equals < lineEnd) {
            fields.emplace_back(bytes.substr(at, equals - at), bytes.substr(equals + 1, lineEnd - equals - 1));
            at = lineEnd + 1;
            continue;
        }
        const std::string key = bytes.substr(at, lineEnd - at);
        at = lineEnd + 1;
        if (bytes.size() - at < 8) {
            good = false;
            break;
        }
        uint64_t size = 0;
        for (int i = 7; i >= 0; --i) size = size << 8 | static_cast<unsigned char>(bytes[at + i]);
        at += 8;
        if (bytes.size() - at < size + 1 || bytes[at + size] != '\n') {
            good = false;
            break;
        }
        fields.emplace_back(key, bytes.substr(at, size));
        at += size + 1;
    }
    if (at < bytes.size() && bytes[at] == '\n') ++at;
    if (end != nullptr) *end = at;
    if (ok != nullptr) *ok = good;
    return fields;
}

// The value of key, or "<missing KEY>" (a text no field of ours holds).
inline std::string Field(const JournalFields& fields, const std::string& key) {
    for (const auto& f : fields)
        if (f.first == key) return f.second;
    return "<missing " + key + ">";
}

struct SyslogLine {
    bool parsed = false;
    int priority = -1;
    std::string stamp, identifier, pid, message;
};

// "<PRI>Mmm dd hh:mm:ss IDENT[PID]: MESSAGE", as syslog(3) sends it.
inline SyslogLine ParseSyslogLine(const std::string& line) {
    static const std::regex header("<([0-9]+)>((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] "
                                   "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]) ([^ \\[\\]:]+)\\[([0-9]+)\\]: ");
    SyslogLine parsed;
    // The message may be long: the pattern sees only the header.
    const size_t headerEnd = line.find("]: ");
    if (headerEnd == std::string::npos) return parsed;
    const std::string head = line.substr(0, headerEnd + 3);
    std::smatch m;
    if (!std::regex_match(head, m, header)) return parsed;
    parsed.parsed = true;
    parsed.priority = atoi(m[1].str().c_str());
    parsed.stamp = m[2];
    parsed.identifier = m[4];
    parsed.pid = m[5];
    parsed.message = line.substr(headerEnd + 3);
    return parsed;
}

// A datagram socket bound (listen) or connected (!listen) to path; -1 when
// that fails.
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
    LogReceiver() {
        path_ = directory_.File("log");
        fd_ = UnixDatagramSocket(path_, true);
        bound_ = fd_ >= 0;
    }
    ~LogReceiver() {
        close(fd_);
    }
    LogReceiver(const LogReceiver&) = delete;
    LogReceiver& operator=(const LogReceiver&) = delete;

    const std::string& path() const { return path_; }
    bool bound() const { return bound_; }

    struct Datagram {
        bool arrived = false;
        std::string payload;
        int descriptors = 0;     // SCM_RIGHTS descriptors that came with it
        int seals = -1;          // F_GET_SEALS of the first one
        std::string attachment;  // the first one's content
    };

    // The next datagram, waiting up to a second for it.
    Datagram Next() {
        Datagram d;
        pollfd wait = {fd_, POLLIN, 0};
        if (poll(&wait, 1, 1000) != 1) return d;
        std::vector<char> buffer(1 << 20);
        iovec part = {buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(fd_, &message, MSG_CMSG_CLOEXEC);
        if (n < 0) return d;
        d.arrived = true;
        d.payload.assign(buffer.data(), static_cast<size_t>(n));
        for (cmsghdr* h = CMSG_FIRSTHDR(&message); h != nullptr; h = CMSG_NXTHDR(&message, h)) {
            if (h->cmsg_level != SOL_SOCKET || h->cmsg_type != SCM_RIGHTS) continue;
            const size_t count = (h->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; ++i) {
                int fd;
                memcpy(&fd, CMSG_DATA(h) + i * sizeof(int), sizeof fd);
                if (d.descriptors++ == 0) {
                    d.seals = fcntl(fd, F_GET_SEALS);
                    char chunk[65536];
                    for (ssize_t got; (got = pread(fd, chunk, sizeof chunk, d.attachment.size())) > 0;)
                        d.attachment.append(chunk, static_cast<size_t>(got));
                }
                close(fd);
            }
        }
        return d;
    }

    // Whether nothing more arrives within 50 ms.
    bool Empty() {
        pollfd wait = {fd_, POLLIN, 0};
        return poll(&wait, 1, 50) == 0;
    }

    // Reads and drops every queued datagram.
    void Drain() {
        char byte;
        while (recv(fd_, &byte, 1, MSG_DONTWAIT) >= 0) {
        }
    }

private:
    ScratchDirectory directory_;
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
};

}  // namespace zavtest
