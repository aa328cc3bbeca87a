// Pages straight from the system, and the address space as /proc/self/maps
// describes it.
#include <stdio.h>
#include <sys/mman.h>
#include <string.h>
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

// The end of the user address space (exclusive).
const uintptr_t kUserSpaceEnd = sizeof(void*) == 8 ? static_cast<uintptr_t>(0x800000000000ull) : 0xC0000000u;

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

extern "C" SIZE_T WINAPI VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION info, SIZE_T size) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    if (info == nullptr || size < sizeof(MEMORY_BASIC_INFORMATION) || at >= kUserSpaceEnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    FILE* maps = fopen("/proc/self/maps", "re");
    if (maps == nullptr) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    // The mapping that holds the address, or the hole between the previous
    // mapping's end and the next one's start.
    uintptr_t holeStart = 0, holeEnd = kUserSpaceEnd;
    bool inside = false;
    char perms[8] = {};
    uintptr_t start = 0, end = 0;
    char line[512];
    while (fgets(line, sizeof line, maps) != nullptr) {
        unsigned long long s = 0, e = 0;
        char p[8] = {};
        if (sscanf(line, "%llx-%llx %4s", &s, &e, p) != 3) continue;
        if (s >= kUserSpaceEnd) break;
        if (at >= s && at < e) {
            inside = true;
            start = static_cast<uintptr_t>(s);
            end = static_cast<uintptr_t>(e);
            for (int i = 0; i < 4; ++i) perms[i] = p[i];
            break;
        }
        if (e <= at) holeStart = static_cast<uintptr_t>(e);
        if (s > at) {
            holeEnd = static_cast<uintptr_t>(s);
            break;
        }
    }
    fclose(maps);
    memset(info, 0, sizeof *info);
    if (inside) {
        const bool accessible = perms[0] == 'r' || perms[1] == 'w' || perms[2] == 'x';
        info->BaseAddress = reinterpret_cast<PVOID>(start);
        info->AllocationBase = info->BaseAddress;
        info->RegionSize = end - start;
        info->State = accessible ? MEM_COMMIT : MEM_RESERVE;
        info->Protect = !accessible ? PAGE_NOACCESS
                        : perms[2] == 'x' ? (perms[1] == 'w' ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ)
                        : perms[1] == 'w' ? PAGE_READWRITE
                                          : PAGE_READONLY;
        info->AllocationProtect = info->Protect;
        info->Type = perms[3] == 's' ? MEM_MAPPED : MEM_PRIVATE;
    } else {
        info->BaseAddress = reinterpret_cast<PVOID>(holeStart);
        info->RegionSize = holeEnd - holeStart;
        info->State = MEM_FREE;
        info->Protect = PAGE_NOACCESS;
    }
    return sizeof *info;
}
