// The Windows runtime's _msize over glibc's allocator.
#include <malloc.h>

#include "ZAVPlatform.h"

extern "C" size_t _msize(void* block) { return malloc_usable_size(block); }
