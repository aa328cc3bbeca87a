// Pages straight from the system.
#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "ErrorCodes.h"

namespace {

std::mutex gAllocationsLock;
std::map<uintptr_t, size_t>& Allocations() {
    static std::map<uintptr_t, size_t> allocations;
    return allocations;
}

int Protection(DWORD protect) {
    switch (protect & 0xFF) {
        case PAGE_NOACCESS: return PROT_NONE;
        case PAGE_READONLY: return PROT_READ;
        case PAGE_EXECUTE_READ: return PROT_READ | PROT_EXEC;
        case PAGE_EXECUTE_READWRITE: return PROT_READ | PROT_WRITE | PROT_EXEC;
        default: return PROT_READ | PROT_WRITE;
    }
}

}  // namespace

extern "C" LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    if (address != nullptr || size == 0 || (type & (MEM_COMMIT | MEM_RESERVE)) == 0) {
        // Placing or committing inside an earlier reservation is not needed here.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t length = (size + page - 1) / page * page;
    const int prot = (type & MEM_COMMIT) != 0 ? Protection(protect) : PROT_NONE;
    void* block = mmap(nullptr, length, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(gAllocationsLock);
    Allocations()[reinterpret_cast<uintptr_t>(block)] = length;
    return block;
}

extern "C" BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
    if (type != MEM_RELEASE || size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(gAllocationsLock);
    auto found = Allocations().find(reinterpret_cast<uintptr_t>(address));
    if (found == Allocations().end()) {
        SetLastError(487);  // ERROR_INVALID_ADDRESS
        return FALSE;
    }
    munmap(address, found->second);
    Allocations().erase(found);
    return TRUE;
}
