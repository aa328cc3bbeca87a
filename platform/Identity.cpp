// User, computer and network-provider names. There is no network provider
// on POSIX unless a test installs one.
#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Conversion.h"
#include "TestControls.h"

using zavplatform::Controls;

namespace {

std::u16string Wide(LPCWSTR text) { return text != nullptr ? std::u16string(text) : std::u16string(); }

// The effective user's login name; false when the system knows none.
bool RealUserName(std::string& name) {
    std::vector<char> scratch(16384);
    struct passwd entry, *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, scratch.data(), scratch.size(), &found) != 0 || found == nullptr) return false;
    name = found->pw_name;
    return !name.empty();
}

// UTF-8 bytes of the name for the ANSI forms, as POSIX keeps it.
std::string RealComputerName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) return std::string();
    std::string name(host);
    name = name.substr(0, name.find('.'));
    for (auto& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name.substr(0, MAX_COMPUTERNAME_LENGTH);
}

// Network names: NO_ERROR, ERROR_NO_NETWORK, ERROR_NOT_CONNECTED or ERROR_MORE_DATA.
DWORD NetworkUser(std::u16string& user) {
    auto& controls = Controls();
    std::lock_guard<std::mutex> hold(controls.identityLock);
    ++controls.identityQueries;
    if (!controls.networkProvider) return ERROR_NO_NETWORK;
    if (!controls.networkUser) return ERROR_NOT_CONNECTED;
    user = *controls.networkUser;
    return NO_ERROR;
}

DWORD NetworkConnection(const std::u16string& drive, std::u16string& remote) {
    auto& controls = Controls();
    std::lock_guard<std::mutex> hold(controls.identityLock);
    if (!controls.networkProvider) return ERROR_NO_NETWORK;
    const auto mapped = controls.connections.find(zavplatform::UpperDrive(drive));
    if (mapped == controls.connections.end()) return ERROR_NOT_CONNECTED;
    remote = mapped->second;
    return NO_ERROR;
}

// The network calls' buffer protocol: ERROR_MORE_DATA with the size needed.
template <typename Text, typename Char>
DWORD Deliver(DWORD result, const Text& text, Char* buffer, LPDWORD length) {
    if (result != NO_ERROR) return result;
    if (length == nullptr) return ERROR_INVALID_PARAMETER;
    DWORD size = 0;
    if (!zavplatform::CopyOut(text, buffer, *length, &size)) {
        *length = size;
        return ERROR_MORE_DATA;
    }
    return NO_ERROR;
}

enum class UserAnswer { Found, Failed };

UserAnswer UserName(std::u16string& wide, std::string& bytes) {
    auto& controls = Controls();
    {
        std::lock_guard<std::mutex> hold(controls.identityLock);
        ++controls.identityQueries;
        if (controls.failUserName) return UserAnswer::Failed;
        if (controls.userName) {
            wide = *controls.userName;
            bytes = zavplatform::ToAnsi(wide);
            return UserAnswer::Found;
        }
    }
    if (!RealUserName(bytes)) return UserAnswer::Failed;
    wide = zavplatform::FromUtf8(bytes);
    return UserAnswer::Found;
}

void ComputerName(std::u16string& wide, std::string& bytes) {
    auto& controls = Controls();
    {
        std::lock_guard<std::mutex> hold(controls.identityLock);
        ++controls.identityQueries;
        if (controls.computerName) {
            wide = *controls.computerName;
            bytes = zavplatform::ToAnsi(wide);
            return;
        }
    }
    bytes = RealComputerName();
    wide = zavplatform::FromUtf8(bytes);
}

// The name queries' buffer protocol. GetUserName counts the terminator in
// *size on success and answers ERROR_INSUFFICIENT_BUFFER; GetComputerName
// counts the characters only and answers ERROR_BUFFER_OVERFLOW. Both give
// the size needed, terminator included, when the buffer is too small.
template <typename Text, typename Char>
BOOL DeliverName(const Text& text, Char* buffer, LPDWORD size, bool countTerminator, DWORD overflow) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD written = 0;
    if (!zavplatform::CopyOut(text, buffer, *size, &written)) {
        *size = written;
        SetLastError(overflow);
        return FALSE;
    }
    *size = countTerminator ? written + 1 : written;
    return TRUE;
}

template <typename Text, typename Char>
BOOL DeliverUser(const Text& text, Char* buffer, LPDWORD size) {
    return DeliverName(text, buffer, size, true, ERROR_INSUFFICIENT_BUFFER);
}

// No name is a failure, as with a host that has none.
template <typename Text, typename Char>
BOOL DeliverComputer(const Text& text, Char* buffer, LPDWORD size) {
    if (size != nullptr && text.empty()) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    return DeliverName(text, buffer, size, false, ERROR_BUFFER_OVERFLOW);
}

}  // namespace

extern "C" DWORD WINAPI WNetGetUserW(LPCWSTR, LPWSTR userName, LPDWORD length) {
    std::u16string user;
    return Deliver(NetworkUser(user), user, userName, length);
}

extern "C" DWORD WINAPI WNetGetUserA(LPCSTR, LPSTR userName, LPDWORD length) {
    std::u16string user;
    const DWORD result = NetworkUser(user);
    return Deliver(result, zavplatform::ToAnsi(user), userName, length);
}

extern "C" DWORD WINAPI WNetGetConnectionW(LPCWSTR localName, LPWSTR remoteName, LPDWORD length) {
    if (localName == nullptr) return ERROR_BAD_DEVICE;
    std::u16string remote;
    return Deliver(NetworkConnection(Wide(localName), remote), remote, remoteName, length);
}

extern "C" DWORD WINAPI WNetGetConnectionA(LPCSTR localName, LPSTR remoteName, LPDWORD length) {
    if (localName == nullptr) return ERROR_BAD_DEVICE;
    std::u16string drive;
    for (const char* p = localName; *p != 0; ++p) drive += static_cast<char16_t>(static_cast<unsigned char>(*p));
    std::u16string remote;
    const DWORD result = NetworkConnection(drive, remote);
    return Deliver(result, zavplatform::ToAnsi(remote), remoteName, length);
}

extern "C" BOOL WINAPI GetUserNameW(LPWSTR buffer, LPDWORD size) {
    std::u16string wide;
    std::string bytes;
    if (UserName(wide, bytes) == UserAnswer::Failed) {
        SetLastError(1332);  // ERROR_NONE_MAPPED
        return FALSE;
    }
    return DeliverUser(wide, buffer, size);
}

extern "C" BOOL WINAPI GetUserNameA(LPSTR buffer, LPDWORD size) {
    std::u16string wide;
    std::string bytes;
    if (UserName(wide, bytes) == UserAnswer::Failed) {
        SetLastError(1332);
        return FALSE;
    }
    return DeliverUser(bytes, buffer, size);
}

extern "C" BOOL WINAPI GetComputerNameW(LPWSTR buffer, LPDWORD size) {
    std::u16string wide;
    std::string bytes;
    ComputerName(wide, bytes);
    return DeliverComputer(wide, buffer, size);
}

extern "C" BOOL WINAPI GetComputerNameA(LPSTR buffer, LPDWORD size) {
    std::u16string wide;
    std::string bytes;
    ComputerName(wide, bytes);
    return DeliverComputer(bytes, buffer, size);
}
