#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ErrorCodes.h"
#include "Conversion.h"

namespace {

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
