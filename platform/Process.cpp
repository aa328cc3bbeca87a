// Local memory, interlocked counts, the own process as a handle and the end
// of the process.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "FaultInjection.h"
#include "Handles.h"

extern "C" HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    if (zavplatform::AllocationRefused()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Windows hands out a block for 0 bytes too.
    void* block = (flags & LMEM_ZEROINIT) != 0 ? calloc(1, bytes != 0 ? bytes : 1) : malloc(bytes != 0 ? bytes : 1);
    if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL memory) {
    free(memory);
    return nullptr;
}

extern "C" LONG WINAPI InterlockedIncrement(LONG volatile* value) {
    return zav::AddFetchSeqCst(*value, 1);
}

extern "C" LONG WINAPI InterlockedDecrement(LONG volatile* value) {
    return zav::AddFetchSeqCst(*value, -1);
}

extern "C" HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD processId) {
    if (processId != static_cast<DWORD>(getpid())) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return zavplatform::AsHandle(new zavplatform::ProcessHandle);
}

// No destructors or exit handlers run: the process may be ending because
// its state cannot be trusted any more.
extern "C" void WINAPI ExitProcess(UINT code) {
    fflush(nullptr);
    _exit(static_cast<int>(code));
}
