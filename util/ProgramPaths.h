// What the trace and the event log share about where their files go: the
// program's path, the path separator, the development-tree rule (a host
// named vb6 on a machine that has the agent's fixed folder names its files
// after that folder), and where a file goes whose folder refuses it.
// Internal to the library.
#pragma once

#include "ZAVString.h"

#ifdef _WIN32
#define ZAV_PATH_SEP "\\"
#else
#define ZAV_PATH_SEP "/"
#endif

namespace zav {

const WCHAR kPathSeparator = ZAV_PATH_SEP[0];
// The folder, with its closing separator.
const char kDevelopmentTree[] = "H:" ZAV_PATH_SEP "Corbalt" ZAV_PATH_SEP "NextRelease" ZAV_PATH_SEP;

// The command line's first field, without its quotes.
ZAVString ProgramPath();

// Whether text ends with ending, caselessly; a shorter text does not.
bool EndsWithCaseless(const ZAVString& text, const char* ending);

// Whether the development tree's marker file, ZAVAgent.dll, exists.
bool DevelopmentTreePresent();

// kDevelopmentTree followed by name.
ZAVString InDevelopmentTree(const char* name);

// Where a file goes that could not be created at path with error: on POSIX,
// when its folder refused it for lack of permission, the same name in the
// user's state folder (made as needed); otherwise, and on Windows, whose
// file virtualization moves such files itself, empty.
ZAVString RefusedFileHome(const ZAVString& path, DWORD error);

// Tells the system log once per path that path could not be opened (POSIX;
// nothing on Windows). Leaves the last error as it was.
void ReportUnopenedFile(const ZAVString& path, DWORD error);

}  // namespace zav
