#include "StateFolder.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "Conversion.h"
#include "ErrorCodes.h"
#include "SystemQueries.h"
#include "ZAVProgramFiles.h"

namespace zavplatform {
namespace {

std::string FileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The home folder: $HOME, else the password database's entry.
std::string HomeFolder() {
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    std::vector<char> buffer(16384);
    passwd entry, *found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return std::string();
}

// Makes each missing folder of path, private to the user. An existing one
// is taken as it is, as the XDG folders are shared with other programs.
bool MakeFolders(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

}  // namespace

std::string ProgramName() {
    std::string name = FileName(ProgramFile());
    if (name.empty()) name = FileName(ProgramArgumentBytes().c_str());
    return name;
}

std::string StateFolder() {
    const std::string program = ProgramName();
    if (program.empty() || program == "." || program == "..") {
        errno = ENOENT;
        return std::string();
    }
    std::string folder;
    const char* state = getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        folder = state;
    } else {
        folder = HomeFolder();
        if (folder.empty()) {
            errno = ENOENT;
            return std::string();
        }
        folder += "/.local/state";
    }
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    folder += '/' + program + '/';
    return MakeFolders(folder) ? folder : std::string();
}

std::string InStateFolder(const std::string& refusedPath) {
    const std::string name = FileName(refusedPath);
    if (name.empty()) return std::string();
    const std::string folder = StateFolder();
    return folder.empty() ? folder : folder + name;
}

}  // namespace zavplatform

extern "C" DWORD ZAVPlatform_StateFolder(LPWSTR folder, DWORD size) {
    const std::string path = zavplatform::StateFolder();
    if (path.empty()) {
        SetLastError(zavplatform::ErrorFromErrno(errno));
        return 0;
    }
    const std::u16string wide = zavplatform::FromUtf8(path);
    if (folder == nullptr || size <= wide.size()) return static_cast<DWORD>(wide.size() + 1);
    folder[wide.copy(folder, wide.size())] = 0;
    return static_cast<DWORD>(wide.size());
}

extern "C" BOOL ZAVPlatform_OpeningRefused(DWORD error) {
    const int cause = zavplatform::FailedOpeningCause(error);
    if (cause != 0) return zavplatform::RefusedForPermission(cause) ? TRUE : FALSE;
    return error == ERROR_ACCESS_DENIED ? TRUE : FALSE;
}
