// A datagram socket connected to a local log daemon that never holds its
// caller longer than a deadline: sends are non-blocking, and a full queue
// at the receiver is waited on only until then.
#pragma once

#include <chrono>
#include <string>

namespace zavplatform {

class DatagramSocket {
public:
    typedef std::chrono::steady_clock::time_point Deadline;
    enum class Result { Sent, TooLarge, TimedOut, Failed };

    DatagramSocket() = default;
    ~DatagramSocket();
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;

    // Whether a daemon listens at path (false also when nothing is there).
    bool Connect(const std::string& path);

    // One datagram of size bytes, with the descriptor attachedFd when it is
    // not -1. errno holds the cause of Failed.
    Result Send(const char* data, size_t size, int attachedFd, Deadline deadline);

    // The largest datagram the kernel takes from this socket.
    size_t Capacity() const;

private:
    int fd_ = -1;
};

}  // namespace zavplatform
