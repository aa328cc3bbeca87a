/// \file
/// Questions about file-system paths. On POSIX the separator is '/' and the
/// Windows-only forms (drive letters, UNC names, the long-path prefix) have
/// no meaning: those translations give the path back unchanged.
#pragma once

#include "ZAVString.h"

/// 0 for an existing file (also when access is denied), 183 for a directory,
/// 2 for an empty path, else the Windows error of the attribute query.
ZAVUTIL1_API zav::win::LONG ZAV_TestFileExists(const ZAVString& path);
/// As above, for a terminated text (null is an empty path).
ZAVUTIL1_API zav::win::LONG ZAV_TestFileExists(const zav::win::WCHAR* path);
/// 0 for an existing directory, 183 for a file, 2 for an empty path, else
/// the Windows error of the attribute query.
ZAVUTIL1_API zav::win::LONG ZAV_TestDirExists(const ZAVString& path);

/// A mapped drive replaced by its network name; otherwise the path.
ZAVUTIL1_API ZAVString ZAV_GetUNCPath(const ZAVString& path);
/// The long-path form (`\\?\`, `\\?\UNC`) on the NT family; otherwise the path.
ZAVUTIL1_API ZAVString ZAV_InternalPath(const ZAVString& path);

/// directory receives the directory of the blank-trimmed path. With flag 0
/// the last component is dropped (`C:\a\b` gives `C:\a`, `C:\a` gives
/// `C:\`, `a` gives ""), a drive root such as `C:\` being its own directory;
/// with another flag the path names a directory itself and only loses a
/// trailing separator. Roots stay whole. Returns 0.
ZAVUTIL1_API zav::win::LONG ZAV_GetDirFromPath(const ZAVString& path, ZAVString& directory, int flag);
