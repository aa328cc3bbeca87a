// What the stand-in needs from the operating system beyond POSIX. Each
// system implements these once, in its own folder (platform/linux/ for
// Linux); the rest of the stand-in is plain POSIX and calls only these.
#pragma once

#include <string>

#include "ZAVPlatform.h"

namespace zavplatform {

// The system's id of the calling thread, unique among running threads.
DWORD SystemThreadId();

// Milliseconds since the system started, time spent suspended included.
uint64_t MillisecondsSinceBoot();

// The program's arguments as the system keeps them, each ended by a zero
// byte; empty when they cannot be read.
std::string ProgramArgumentBytes();

// The running program's file, as an absolute path; empty when unknown.
std::string ProgramFile();

// An anonymous in-memory file holding bytes, sealed against every change,
// as the journal takes an entry too large for one datagram. The descriptor
// (the caller closes it), or -1 with errno set.
int SealedMemoryFile(const std::string& bytes);

}  // namespace zavplatform
