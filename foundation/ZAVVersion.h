// The version record behind the version tests, read once per process.
#pragma once

#include "ZAVExport.h"

namespace zav {
const OSVERSIONINFOW& VersionRecord();
}
