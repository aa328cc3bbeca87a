#include "DatagramSocket.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zavplatform {

DatagramSocket::~DatagramSocket() {
    if (fd_ >= 0) close(fd_);
}

bool DatagramSocket::Connect(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    path.copy(address.sun_path, path.size());
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
    return true;
}

DatagramSocket::Result DatagramSocket::Send(const char* data, size_t size, int attachedFd, Deadline deadline) {
    iovec part = {const_cast<char*>(data), size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (attachedFd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        memcpy(CMSG_DATA(header), &attachedFd, sizeof(int));
    }
    for (;;) {
        if (sendmsg(fd_, &message, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) return Result::Sent;
        if (errno == EMSGSIZE) return Result::TooLarge;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS) return Result::Failed;
        // A connected socket polls writable once the receiver's queue has room.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Result::TimedOut;
        pollfd wait = {fd_, POLLOUT, 0};
        if (poll(&wait, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return Result::Failed;
    }
}

size_t DatagramSocket::Capacity() const {
    int sendBuffer = 0;
    socklen_t size = sizeof sendBuffer;
    if (getsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &sendBuffer, &size) != 0 || sendBuffer < 64) return 4096;
    // The kernel keeps 32 bytes of the send buffer for itself (unix_dgram_sendmsg).
    return static_cast<size_t>(sendBuffer) - 32;
}

}  // namespace zavplatform
