// Files the library creates beside the program (trace files, EventLog.txt)
// on POSIX. Where the program's folder refuses them for lack of permission,
// they go to the user's state folder instead, as Windows' file
// virtualization moves a legacy program's writes; a file that cannot be
// opened anywhere is reported to the system log. Internal to the library.
#pragma once

#ifndef _WIN32
#include "ZAVPlatform.h"

#ifdef __cplusplus
extern "C" {
#endif

// The program's state folder, $XDG_STATE_HOME/<program>/ (an absolute
// XDG_STATE_HOME only; otherwise ~/.local/state/<program>/), made as needed
// with mode 0700, with its closing separator, in folder. Answers its length
// without the terminator; the size needed, terminator included, when size
// is too small; 0 with the last error set when it cannot be made.
ZAVPLATFORM_API DWORD ZAVPlatform_StateFolder(LPWSTR folder, DWORD size);

// Whether an opening that failed with error (a Win32 code) was refused for
// lack of permission, so that the state folder applies.
ZAVPLATFORM_API BOOL ZAVPlatform_OpeningRefused(DWORD error);

// Leaves one system-log entry (the journal or the syslog socket; standard
// error when neither listens) naming path and error, once per path in the
// process. Never counts toward the event log's flood limit.
ZAVPLATFORM_API void ZAVPlatform_ReportUnopenedFile(LPCWSTR path, DWORD error);

#ifdef __cplusplus
}
#endif
#endif
