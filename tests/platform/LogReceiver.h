// Reports to the event log, a datagram socket standing in for a log daemon,
// and a reader of the journal entries the event log sends (binary safe:
// values are length-counted, never split at newlines). The daemon, message
// and program-files tests use them too.
#pragma once

#include <poll.h>
#include <stdint.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZAVPlatform.h"

namespace zavtest {

typedef std::map<std::string, std::string> JournalFields;

// Entries of "KEY=value\n" or "KEY\n" + 64-bit little-endian size + value +
// "\n", an empty line ending each (journalctl's export format).
inline std::vector<JournalFields> DecodeJournal(const std::string& b) {
    std::vector<JournalFields> entries(1);
    for (size_t at = 0, end; (end = b.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = b.substr(at, end - at);
        const size_t equals = line.find('=');
        if (line.empty()) {
            entries.emplace_back();
        } else if (equals != std::string::npos) {
            entries.back()[line.substr(0, equals)] = line.substr(equals + 1);
        } else {
            uint64_t size = 0;
            for (int i = 8; i > 0; --i) size = size << 8 | static_cast<unsigned char>(b.at(end + i));
            entries.back()[line] = b.substr(end + 9, size);
            end += 9 + size;
        }
    }
    if (entries.back().empty()) entries.pop_back();
    return entries;
}

// One entry, as the event log sends it in a datagram (none if it holds more).
inline JournalFields DecodeJournalEntry(const std::string& bytes) {
    const std::vector<JournalFields> entries = DecodeJournal(bytes);
    return entries.size() == 1 ? entries[0] : JournalFields();
}

// The value of key, or "<missing KEY>" (a text no field of ours holds).
inline std::string Field(const JournalFields& fields, const std::string& key) {
    const auto it = fields.find(key);
    return it != fields.end() ? it->second : "<missing " + key + ">";
}

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

// A bound datagram socket in a scratch folder. Its receive buffer has the
// kernel's default size, which a test of a stalled reader fills, unless a
// larger one is asked for, as for the many reports of an injection loop.
class LogReceiver {
public:
    explicit LogReceiver(int receiveBuffer = 0) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path_;
        if (receiveBuffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    ~LogReceiver() { close(fd_); }
    const std::string& path() const { return path_; }

    struct Datagram {
        bool arrived = false;
        std::string payload;
    };

    // The next datagram, waiting up to the milliseconds for it.
    Datagram Next(int milliseconds = 1000) {
        if (Empty(milliseconds)) return Datagram();
        std::string payload(size_t(std::max<ssize_t>(0, recv(fd_, nullptr, 0, MSG_PEEK | MSG_TRUNC))), 0);
        return {recv(fd_, &payload[0], payload.size(), 0) >= 0, payload};
    }

    // Whether nothing arrives within the milliseconds.
    bool Empty(int milliseconds = 50) {
        pollfd wait = {fd_, POLLIN, 0};
        return poll(&wait, 1, milliseconds) != 1;
    }

    // Every queued datagram, taken without waiting.
    std::vector<std::string> Drain() {
        std::vector<std::string> payloads;
        for (Datagram d; (d = Next(0)).arrived;) payloads.push_back(d.payload);
        return payloads;
    }

private:
    ScratchDirectory directory_;
    std::string path_ = directory_.File("log");
    int fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
};

}  // namespace zavtest
