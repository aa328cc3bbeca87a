// The system queries on Linux.
#include "SystemQueries.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace zavplatform {

DWORD SystemThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

uint64_t MillisecondsSinceBoot() {
    struct timespec ts;
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

std::string ProgramArgumentBytes() {
    std::string bytes;
    const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    char chunk[4096];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<size_t>(got));
    close(fd);
    return bytes;
}

std::string ProgramFile() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return std::string(path, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace zavplatform
