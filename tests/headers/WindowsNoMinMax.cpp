// A Windows host that defines NOMINMAX keeps std::min and std::max usable
// after the library's header, and its own NOMINMAX stays defined.
#define NOMINMAX
#include <ZAVUtil1/ZAVUtil1.h>

#include <algorithm>

#ifndef NOMINMAX
#error "the library's header removed the host's NOMINMAX"
#endif

DWORD Use(DWORD a, DWORD b) { return std::min(a, b) + std::max(a, b); }
