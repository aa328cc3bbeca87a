// Reading the own process's memory without faulting: the kernel copies, so
// an unreadable page is an error code, not a signal.
#include <errno.h>
#include <sys/uio.h>
#include <unistd.h>

#include "Handles.h"

extern "C" HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

// Only the own process can be read: its pseudo handle, or a handle from
// OpenProcess. As on Windows, a range that is not readable to its end
// fails with ERROR_PARTIAL_COPY, and *read tells how far it got.
extern "C" BOOL WINAPI ReadProcessMemory(HANDLE process, LPCVOID address, LPVOID buffer, SIZE_T size, SIZE_T* read) {
    if (read != nullptr) *read = 0;
    if (process != GetCurrentProcess() && zavplatform::HandleAs<zavplatform::ProcessHandle>(process) == nullptr)
        return FALSE;
    SIZE_T done = 0;
    while (done < size) {
        iovec local = {static_cast<char*>(buffer) + done, size - done};
        iovec remote = {const_cast<char*>(static_cast<const char*>(address)) + done, size - done};
        const ssize_t n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<SIZE_T>(n);
    }
    if (read != nullptr) *read = done;
    if (done < size) {
        SetLastError(ERROR_PARTIAL_COPY);
        return FALSE;
    }
    return TRUE;
}
