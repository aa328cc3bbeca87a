// An anonymous in-memory file holding bytes, sealed against every change,
// as the journal takes an entry too large for one datagram.
#pragma once

#include <string>

namespace zavplatform {

// The descriptor (the caller closes it), or -1 with errno set.
int SealedMemoryFile(const std::string& bytes);

}  // namespace zavplatform
