// The stand-in's system log redirected to a datagram socket of the test, to
// read back the trace's failure reports.
#pragma once

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScratchDirectory.h"
#include "ZAVPlatformTest.h"

class EventLogCapture {
public:
    EventLogCapture() {
        path_ = directory_.File("log");
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, path_.size());
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ADD_FAILURE() << "bind " << path_;
        int size = 4 << 20;
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        ZAVPlatformTest_SetEventLogSocket(path_.c_str());
    }
    ~EventLogCapture() {
        ZAVPlatformTest_SetEventLogSocket(nullptr);
        close(fd_);
    }
    EventLogCapture(const EventLogCapture&) = delete;
    EventLogCapture& operator=(const EventLogCapture&) = delete;

    // Every entry that has arrived so far (the sends are done when the
    // logging call returns).
    std::vector<std::string> Drain() {
        std::vector<std::string> entries;
        for (;;) {
            pollfd wait = {fd_, POLLIN, 0};
            if (poll(&wait, 1, 0) != 1) return entries;
            char buffer[8192];
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) return entries;
            entries.emplace_back(buffer, static_cast<size_t>(n));
        }
    }

private:
    ScratchDirectory directory_;
    std::string path_;
    int fd_ = -1;
};
