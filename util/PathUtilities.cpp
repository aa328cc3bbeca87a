// Existence tests, the network name of a mapped drive, the long-path form
// and the directory of a path.
#include <vector>

#include "AnsiText.h"
#include "LongPathForm.h"
#include "ZAVFrame.h"
#include "ZAVPathUtil.h"

namespace {

const WCHAR kDriveSeparator = ':';
#ifdef _WIN32
const WCHAR kSeparator = '\\';
const WCHAR kOtherSeparator = '/';
#else
const WCHAR kSeparator = '/';
const WCHAR kOtherSeparator = 0;  // none: a backslash is a plain character
#endif

// The path in the ANSI code page, terminated.
std::vector<char> AnsiForm(const ZAVString& path) {
    std::vector<char> bytes(2 * static_cast<size_t>(path.length()) + 1);
    bytes[zav::WideToAnsi(path.c_str(), path.length(), bytes.data(), bytes.size() - 1)] = 0;
    return bytes;
}

struct AttributeQuery {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD error = 0;
    bool IsDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

AttributeQuery QueryAttributes(const ZAVString& path) {
    AttributeQuery query;
    SetLastError(0);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        query.error = ERROR_FILE_NOT_FOUND;
        return query;
    }
    try {
        query.attributes = ZAV_IsWinNT() ? GetFileAttributesW(path.c_str()) : GetFileAttributesA(AnsiForm(path).data());
    } catch (...) {
    }
    query.error = GetLastError();
    return query;
}

}  // namespace

LONG ZAV_TestFileExists(const ZAVString& path) {
    const AttributeQuery query = QueryAttributes(path);
    if (query.error == 0) return query.IsDirectory() ? ERROR_ALREADY_EXISTS : 0;
    if (query.error == ERROR_ACCESS_DENIED) return 0;
    return static_cast<LONG>(query.error);
}

LONG ZAV_TestFileExists(const WCHAR* path) { return ZAV_TestFileExists(ZAVString(path)); }

LONG ZAV_TestDirExists(const ZAVString& path) {
    const AttributeQuery query = QueryAttributes(path);
    if (query.error == 0) return query.IsDirectory() ? 0 : ERROR_ALREADY_EXISTS;
    return static_cast<LONG>(query.error);
}

ZAVString ZAV_GetUNCPath(const ZAVString& path) {
    if (path.length() < 2 || path[1] != kDriveSeparator) return path;
    const ZAVString drive = path.Left(2);
    const ZAVString rest = path.substr(2);
    const DWORD kRemoteSize = 256;
    ZAVString remote;
    if (ZAV_IsWinNT()) {
        WCHAR name[kRemoteSize];
        DWORD length = kRemoteSize;
        if (WNetGetConnectionW(drive.c_str(), name, &length) != NO_ERROR) return path;
        remote.assign(name);
    } else {
        char name[kRemoteSize];
        DWORD length = kRemoteSize;
        if (WNetGetConnectionA(AnsiForm(drive).data(), name, &length) != NO_ERROR) return path;
        remote.assign(name);
    }
    remote += rest;
    return remote;
}

ZAVString ZAV_InternalPath(const ZAVString& path) {
#ifdef _WIN32
    if (ZAV_IsWinNT()) return zav::LongPathForm(path);
#endif
    return path;
}

namespace {

bool IsSeparator(WCHAR c) { return c == kSeparator || (kOtherSeparator != 0 && c == kOtherSeparator); }

// Where the path's root ends: after "X:", after "\\server\share", after a
// leading "/" on POSIX; 0 for a relative path.
unsigned RootEnd(const ZAVString& path) {
    const unsigned length = path.length();
#ifdef _WIN32
    if (length >= 2 && path[1] == kDriveSeparator) return 2;
    if (length >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        unsigned i = 2;
        while (i < length && !IsSeparator(path[i])) ++i;  // server
        if (i < length) ++i;
        while (i < length && !IsSeparator(path[i])) ++i;  // share
        return i;
    }
    return 0;
#else
    return length >= 1 && path[0] == kSeparator ? 1 : 0;
#endif
}

bool IsDriveRoot(const ZAVString& path) {
    return path.length() == 3 && path[1] == kDriveSeparator && IsSeparator(path[2]);
}

// A drive root keeps its separator ("C:\"); "/" is one already.
ZAVString Root(const ZAVString& path, unsigned rootEnd) {
    const bool drive = rootEnd == 2 && path[1] == kDriveSeparator;
    return path.Left(drive && rootEnd < path.length() && IsSeparator(path[rootEnd]) ? rootEnd + 1 : rootEnd);
}

}  // namespace

LONG ZAV_GetDirFromPath(const ZAVString& path, ZAVString& directory, int flag) {
    ZAVString trimmed(path);
    trimmed.RTrim();
    trimmed.LTrim();
    const unsigned root = RootEnd(trimmed);
    unsigned end = trimmed.length();
    if (flag == 0 && !IsDriveRoot(trimmed))
        while (end > root && !IsSeparator(trimmed[end - 1])) --end;  // the last component
    while (end > root && IsSeparator(trimmed[end - 1])) --end;      // "a//b" gives "a"
    directory = end > root ? trimmed.Left(end) : Root(trimmed, root);
    return 0;
}
