// The Windows error code that stands for a POSIX errno value.
#pragma once

#include "ZAVPlatform.h"

namespace zavplatform {

DWORD ErrorFromErrno(int error);

// A missing entry (ENOENT) is 2 when its directory exists, as Windows tells
// a missing file from a missing directory on the way; otherwise 3.
DWORD MissingPathError(const char* path);

}  // namespace zavplatform
