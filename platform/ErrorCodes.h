// The Windows error code that stands for a POSIX errno value.
#pragma once

#include "ZAVPlatform.h"

namespace zavplatform {

DWORD ErrorFromErrno(int error);

// A missing entry (ENOENT) is 2 when its directory exists, as Windows tells
// a missing file from a missing directory on the way; otherwise 3.
DWORD MissingPathError(const char* path);

// The errno of the calling thread's last failed file opening, kept with
// the Win32 code it became: the code alone cannot tell a refusal for lack of
// permission from a folder in the file's place, nor give the system's text.
void NoteFailedOpening(int error, DWORD code);
// The errno behind code when the calling thread's last failed opening
// gave code; else 0.
int FailedOpeningCause(DWORD code);

// Whether error, the errno of an opening, is a refusal for lack of
// permission (EACCES, EPERM, EROFS).
bool RefusedForPermission(int error);

}  // namespace zavplatform
