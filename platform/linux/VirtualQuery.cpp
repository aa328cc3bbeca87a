// The address space as /proc/self/maps describes it.
#include <stdio.h>
#include <string.h>

#include "ZAVPlatform.h"

namespace {

// The end of the user address space (exclusive).
const uintptr_t kUserSpaceEnd = sizeof(void*) == 8 ? static_cast<uintptr_t>(0x800000000000ull) : 0xC0000000u;

}  // namespace

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
