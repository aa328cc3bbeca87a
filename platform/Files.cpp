#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "Conversion.h"
#include "ErrorCodes.h"
#include "FaultInjection.h"
#include "Handles.h"

namespace {

class FileHandle : public zavplatform::HandleObject {
public:
    static const zavplatform::HandleKind kKind = zavplatform::HandleKind::File;
    explicit FileHandle(int fd) : HandleObject(kKind), fd_(fd) {}
    ~FileHandle() override { close(fd_); }
    int fd() const { return fd_; }

private:
    int fd_;
};

DWORD Attributes(const char* path) {
    struct stat info;
    if (path[0] == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (stat(path, &info) != 0) {
        const int error = errno;
        SetLastError(error == ENOENT ? zavplatform::MissingPathError(path) : zavplatform::ErrorFromErrno(error));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISDIR(info.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (S_ISREG(info.st_mode)) {
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    } else {
        attributes |= FILE_ATTRIBUTE_DEVICE;
    }
    if (access(path, W_OK) != 0 && errno == EACCES) attributes |= FILE_ATTRIBUTE_READONLY;
    // Dot files are the POSIX hidden files.
    const std::string name(path);
    const size_t slash = name.find_last_of('/');
    const std::string base = name.substr(slash == std::string::npos ? 0 : slash + 1);
    if (base.size() > 1 && base[0] == '.' && base != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
    struct stat link;
    if (lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes;
}

HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition) {
    int flags = O_CLOEXEC;
    const bool reads = (access & GENERIC_READ) != 0, writes = (access & GENERIC_WRITE) != 0;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: flags |= O_CREAT; break;
        case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    if ((flags & O_TRUNC) != 0 && !writes) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Truncation waits for the share check: a refused opening must not
    // destroy the holder's file.
    const bool truncate = (flags & O_TRUNC) != 0;
    flags &= ~O_TRUNC;
    struct stat existing;
    const bool existed = stat(path, &existing) == 0;
    const int fd = open(path, flags, 0666);
    if (fd < 0) {
        const int error = errno;
        const DWORD code = error == ENOENT ? zavplatform::MissingPathError(path) : zavplatform::ErrorFromErrno(error);
        zavplatform::NoteFailedOpening(error, code);
        SetLastError(code);
        return INVALID_HANDLE_VALUE;
    }
    if (writes && (share & FILE_SHARE_WRITE) == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    if (truncate && ftruncate(fd, 0) != 0) {
        const int error = errno;
        close(fd);
        SetLastError(zavplatform::ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    // Windows reports an opening that found the file with ERROR_ALREADY_EXISTS.
    SetLastError((disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS) && existed ? ERROR_ALREADY_EXISTS : 0);
    return zavplatform::AsHandle(new FileHandle(fd));
}

}  // namespace

extern "C" DWORD WINAPI GetFileAttributesW(LPCWSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    return Attributes(zavplatform::ToUtf8(path).c_str());
}

extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    return Attributes(path);
}

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                                     DWORD disposition, DWORD, HANDLE) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return Open(zavplatform::ToUtf8(path).c_str(), access, share, disposition);
}

extern "C" HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                                     DWORD disposition, DWORD, HANDLE) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return Open(path, access, share, disposition);
}

// An overlapped write goes to the offset it names and is complete on
// return, yet answers as Windows may for any overlapped write: FALSE with
// ERROR_IO_PENDING, the result left to GetOverlappedResult. A plain one
// writes at the file's position and moves it.
extern "C" BOOL WINAPI WriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written, LPOVERLAPPED overlapped) {
    FileHandle* handle = zavplatform::HandleAs<FileHandle>(file);
    if (written != nullptr) *written = 0;
    if (handle == nullptr) return FALSE;
    const char* at = static_cast<const char*>(data);
    off_t offset = overlapped != nullptr
                       ? static_cast<off_t>((static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset)
                       : 0;
    DWORD done = 0;
    DWORD partial = 0;
    const bool injected = zavplatform::FailWriteNow(&partial);
    if (injected && partial < bytes) bytes = partial;  // a full disk takes part of the data
    while (done < bytes) {
        const ssize_t n = overlapped != nullptr ? pwrite(handle->fd(), at + done, bytes - done, offset + done)
                                                : write(handle->fd(), at + done, bytes - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastError(zavplatform::ErrorFromErrno(errno));
            if (written != nullptr) *written = done;
            if (overlapped != nullptr) {
                overlapped->Internal = GetLastError();
                overlapped->InternalHigh = done;  // the event stays as the caller left it, as on Windows
            }
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (injected) {
        SetLastError(ERROR_DISK_FULL);
        if (written != nullptr) *written = done;
        if (overlapped != nullptr) {
            overlapped->Internal = ERROR_DISK_FULL;
            overlapped->InternalHigh = done;
        }
        return FALSE;
    }
    if (written != nullptr) *written = done;
    if (overlapped != nullptr) {
        overlapped->Internal = 0;
        overlapped->InternalHigh = done;
        if (overlapped->hEvent != nullptr) SetEvent(overlapped->hEvent);
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    return TRUE;
}

extern "C" DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
    FileHandle* handle = zavplatform::HandleAs<FileHandle>(file);
    if (handle == nullptr) return INVALID_SET_FILE_POINTER;
    const int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    // Without a high part the distance is a signed 32-bit value.
    const int64_t move = distanceHigh != nullptr
                             ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                    static_cast<uint32_t>(distance))
                             : distance;
    const off_t at = lseek(handle->fd(), static_cast<off_t>(move), whence);
    if (at < 0) {
        SetLastError(errno == EINVAL ? 131 /* ERROR_NEGATIVE_SEEK */ : zavplatform::ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(at) >> 32);
    SetLastError(0);
    return static_cast<DWORD>(at);
}

extern "C" BOOL WINAPI CloseHandle(HANDLE handle) {
    zavplatform::HandleObject* object = zavplatform::AnyHandle(handle);
    if (object == nullptr) return FALSE;
    delete object;
    return TRUE;
}

extern "C" BOOL WINAPI SetEndOfFile(HANDLE file) {
    FileHandle* handle = zavplatform::HandleAs<FileHandle>(file);
    if (handle == nullptr) return FALSE;
    const off_t position = lseek(handle->fd(), 0, SEEK_CUR);
    if (position < 0 || ftruncate(handle->fd(), position) != 0) {
        SetLastError(zavplatform::ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}
