#include "ErrorCodes.h"

#include <errno.h>
#include <sys/stat.h>

#include <string>

namespace zavplatform {

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS: return ERROR_ACCESS_DENIED;
        case EEXIST: return 80;  // ERROR_FILE_EXISTS
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
        case ENOSPC: return 112;   // ERROR_DISK_FULL
        case EMFILE:
        case ENFILE: return 4;     // ERROR_TOO_MANY_OPEN_FILES
        case EBUSY: return 32;     // ERROR_SHARING_VIOLATION
        case EISDIR: return ERROR_ACCESS_DENIED;
        case ENOTSUP: return ERROR_NOT_SUPPORTED;
        default: return ERROR_GEN_FAILURE;
    }
}

namespace {
thread_local int tFailedOpeningCause = 0;
thread_local DWORD tFailedOpeningCode = 0;
}  // namespace

void NoteFailedOpening(int error, DWORD code) {
    tFailedOpeningCause = error;
    tFailedOpeningCode = code;
}

int FailedOpeningCause(DWORD code) { return code == tFailedOpeningCode ? tFailedOpeningCause : 0; }

bool RefusedForPermission(int error) { return error == EACCES || error == EPERM || error == EROFS; }

DWORD MissingPathError(const char* path) {
    std::string directory(path);
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    const size_t slash = directory.rfind('/');
    if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;  // relative to the working directory
    directory.resize(slash == 0 ? 1 : slash);
    struct stat info;
    return stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                        : ERROR_PATH_NOT_FOUND;
}

}  // namespace zavplatform
