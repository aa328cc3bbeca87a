// The process-wide barrier from the kernel's membarrier: an interrupt on
// every CPU that runs a thread of the process, each a full barrier there.
#include <errno.h>
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "ZAVPlatform.h"

namespace {

bool Membarrier(int command) { return syscall(__NR_membarrier, command, 0u, 0) == 0; }

}  // namespace

// The expedited command asks the process to register first, once; a child
// of fork starts unregistered, hence the retry after EPERM.
extern "C" BOOL ZAVPlatform_ProcessWideBarrier(void) {
    if (Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED)) return TRUE;
    if (errno != EPERM || !Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED)) return FALSE;
    return Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) ? TRUE : FALSE;
}
