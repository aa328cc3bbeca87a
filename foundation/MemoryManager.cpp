#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <new>

#include "FaultInjection.h"
#include "MemoryMonitor.h"
#include "ZAVFrame.h"
#include "ZAVMemory.h"

HANDLE hZAVHeap = nullptr;
enumZAVMemoryAlloc ZAVMemAllocType = ZAVMemAllocUndefined;
DWORD ZAVMemOptions = 0;
int ZAV_MonitorMemory = 0;
ZAVUInt64 ZAV_PoolMemBusy = 0;
ZAV_MemCtlBlock* g_pZAVMemCtl = nullptr;

namespace {

constexpr DWORD kGuardSize = 32;
constexpr DWORD kHeaderSize = 16;
constexpr uint32_t kHeaderPattern1 = 0xFDFEFDFEu, kHeaderPattern2 = 0xDDCCBBAAu;
constexpr uint32_t kTrailerPattern1 = 0xEEFEEFEEu, kTrailerPattern2 = 0xAABBCCDDu;
constexpr unsigned char kGuardFill = 0xEA;

typedef SIZE_T(WINAPI* HeapCompactFn)(HANDLE, DWORD);
typedef BOOL(WINAPI* HeapSetInformationFn)(HANDLE, HEAP_INFORMATION_CLASS, PVOID, SIZE_T);

// Definition happens at set-up, but the implicit one can race with itself.
std::mutex gDefineLock;
HeapCompactFn gHeapCompact = nullptr;
ZAVUInt64 gLastCompaction = 0;

inline enumZAVMemoryAlloc Strategy() { return zav::LoadAcquire(ZAVMemAllocType); }
inline ZAV_MemCtlBlock* Table() { return zav::LoadAcquire(g_pZAVMemCtl); }
inline bool Monitoring() { return zav::LoadRelaxed(ZAV_MonitorMemory) != 0; }
// Atomic: threads count at once, and a definition resets the count.
inline void CountBusy(ZAVUInt64 bytes) {
    if (bytes != 0) zav::FetchAddRelaxed(ZAV_PoolMemBusy, bytes);
}
inline void UncountBusy(ZAVUInt64 bytes) {
    if (bytes != 0) zav::FetchSubRelaxed(ZAV_PoolMemBusy, bytes);
}

inline size_t UsableSize(void* block) { return _msize(block); }

inline uint32_t Low32(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

inline void PutWords(unsigned char* at, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t words[4] = {a, b, c, d};
    memcpy(at, words, sizeof words);
}

inline void GetWords(const unsigned char* at, uint32_t words[4]) { memcpy(words, at, 4 * sizeof(uint32_t)); }

template <typename Fn>
Fn Kernel32Entry(const char* name) {
    HMODULE kernel = LoadLibraryW(ZAV_TEXT("KERNEL32.dll"));
    if (kernel == nullptr) return nullptr;
    Fn entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
    FreeLibrary(kernel);
    return entry;
}

// Every definition starts a fresh table while monitoring is on. An earlier
// table is left behind unreachable, as hosts that redefine expect.
void StartTable() {
    if (Monitoring()) zav::StartMonitorTable();
}

void DefineImplicitly() {
    std::lock_guard<std::mutex> hold(gDefineLock);
    if (Strategy() != ZAVMemAllocUndefined) return;
    // Atomic: first calls on other threads read these without the lock.
    zav::StoreRelaxed(ZAVMemOptions, 0u);
    zav::StoreRelaxed(ZAV_PoolMemBusy, 0u);
    StartTable();
    zav::StoreRelease(ZAVMemAllocType, ZAVMemAllocCRT);
}

void* Obtain(enumZAVMemoryAlloc strategy, DWORD amount) {
    switch (strategy) {
        case ZAVMemAllocNew:
            if (zavplatform::AllocationRefused()) return nullptr;
            return ::operator new(amount);
        case ZAVMemAllocCRT:
            if (zavplatform::AllocationRefused()) return nullptr;
            return malloc(amount);
        case ZAVMemAllocPrivateHeap: {
            HANDLE heap = hZAVHeap;
            return heap != nullptr ? HeapAlloc(heap, 0, amount) : nullptr;
        }
        default:
            return nullptr;
    }
}

DWORD Release(enumZAVMemoryAlloc strategy, void* block) {
    switch (strategy) {
        case ZAVMemAllocNew:
            ::operator delete(block);
            return 0;
        case ZAVMemAllocCRT:
            free(block);
            return 0;
        case ZAVMemAllocPrivateHeap:
            return HeapFree(hZAVHeap, 0, block) ? 0 : GetLastError();
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

// What a block adds to ZAV_PoolMemBusy, as its heap measures it; 0 while
// monitoring is off and for operator new's blocks.
ZAVUInt64 CountedBytes(enumZAVMemoryAlloc strategy, void* block) {
    if (!Monitoring()) return 0;
    switch (strategy) {
        case ZAVMemAllocCRT:
            return UsableSize(block);
        case ZAVMemAllocPrivateHeap:
            return HeapSize(hZAVHeap, 0, block);
        default:
            return 0;
    }
}

// Bytes the strategy gave a block whose header is genuine; SIZE_MAX when
// the strategy cannot tell.
size_t BlockCapacity(enumZAVMemoryAlloc strategy, void* start) {
    switch (strategy) {
        case ZAVMemAllocCRT:
            return UsableSize(start);
        case ZAVMemAllocPrivateHeap: {
            SIZE_T size = hZAVHeap != nullptr ? HeapSize(hZAVHeap, 0, start) : static_cast<SIZE_T>(-1);
            return size == static_cast<SIZE_T>(-1) ? 0 : size;
        }
        default:
            return SIZE_MAX;
    }
}

// Throws LONG 9 unless header and trailer are intact; answers the block start.
unsigned char* CheckGuards(enumZAVMemoryAlloc strategy, void* callerArea) {
    unsigned char* start = static_cast<unsigned char*>(callerArea) - kHeaderSize;
    uint32_t header[4];
    GetWords(start, header);
    if (header[0] != Low32(start) || header[2] != kHeaderPattern1 || header[3] != kHeaderPattern2)
        throw static_cast<LONG>(ERROR_INVALID_BLOCK);
    // Exact from the low halves alone, since a block is below 4 GiB. A
    // damaged second word must not send the check outside the block.
    const uint32_t trailerOffset = header[1] - Low32(start);
    if (trailerOffset < kHeaderSize || static_cast<size_t>(trailerOffset) + kHeaderSize > BlockCapacity(strategy, start))
        throw static_cast<LONG>(ERROR_INVALID_BLOCK);
    uint32_t trailer[4];
    GetWords(start + trailerOffset, trailer);
    if (trailer[0] != Low32(start) || trailer[1] != header[1] || trailer[2] != kTrailerPattern1 ||
        trailer[3] != kTrailerPattern2)
        throw static_cast<LONG>(ERROR_INVALID_BLOCK);
    return start;
}

}  // namespace

DWORD ZAV_MemoryDefine(enumZAVMemoryAlloc strategy, DWORD initialSize, DWORD options) {
    std::lock_guard<std::mutex> hold(gDefineLock);
    zav::StoreRelaxed(ZAVMemOptions, options);
    if (Strategy() == ZAVMemAllocPrivateHeap) return 0;
    zav::StoreRelaxed(ZAV_PoolMemBusy, 0u);
    StartTable();
    if (strategy == ZAVMemAllocPrivateHeap) {
        HANDLE heap = HeapCreate(0, initialSize == 0 ? 65536 : initialSize, 0);
        hZAVHeap = heap;
        if (heap == nullptr) {
            DWORD error = GetLastError();
            zav::StoreRelease(ZAVMemAllocType, ZAVMemAllocPrivateHeap);
            return error;
        }
        if (ZAV_IsWinXP() && (options & ZAVMemOptLowFragHeap) != 0) {
            if (auto setInformation = Kernel32Entry<HeapSetInformationFn>("HeapSetInformation")) {
                ULONG lowFragmentation = 2;
                setInformation(heap, HeapCompatibilityInformation, &lowFragmentation, sizeof lowFragmentation);
            }
        }
    }
    zav::StoreRelease(ZAVMemAllocType, strategy);
    return 0;
}

// The runtime heap with no aids in force: the manager adds nothing to it.
// (An injected failure is a test's aid.)
static inline bool PlainRuntimeHeap(DWORD options) {
    return Strategy() == ZAVMemAllocCRT && (options & ZAVMemOptGuard) == 0 && !Monitoring() && Table() == nullptr &&
           !zavplatform::AllocationFaultArmed();
}

// Kept out of line so the plain path needs no stack frame.
static ZAV_NOINLINE void* GetWithAids(DWORD size, DWORD flags);
static ZAV_NOINLINE DWORD FreeWithAids(void* block);

void* ZAV_MemoryGet(DWORD size, DWORD flags) {
    const DWORD options = zav::LoadRelaxed(ZAVMemOptions);
    if (PlainRuntimeHeap(options) && ((flags != 0 ? flags : options) & ZAVMemOptZeroFill) == 0)
        return size != 0 ? malloc(size) : nullptr;
    return GetWithAids(size, flags);
}

static void* GetWithAids(DWORD size, DWORD flags) {
    if (Strategy() == ZAVMemAllocUndefined) DefineImplicitly();
    const DWORD options = zav::LoadRelaxed(ZAVMemOptions);
    if (flags == 0) flags = options & ZAVMemOptDefaultFlagsMask;
    if (size == 0) return nullptr;
    try {
        const bool guarded = (options & ZAVMemOptGuard) != 0;
        if (guarded && size > 0xFFFFFFFFu - kGuardSize) return nullptr;
        const enumZAVMemoryAlloc strategy = Strategy();
        unsigned char* block = static_cast<unsigned char*>(Obtain(strategy, guarded ? size + kGuardSize : size));
        if (block == nullptr) return nullptr;
        const ZAVUInt64 counted = CountedBytes(strategy, block);

        unsigned char* result = block;
        if (guarded) {
            memset(block, kGuardFill, size + kGuardSize);
            unsigned char* trailer = block + kHeaderSize + size;
            PutWords(block, Low32(block), Low32(trailer), kHeaderPattern1, kHeaderPattern2);
            PutWords(trailer, Low32(block), Low32(trailer), kTrailerPattern1, kTrailerPattern2);
            result = block + kHeaderSize;
        }
        if ((flags & ZAVMemOptZeroFill) != 0) memset(result, 0, size);
        CountBusy(counted);
        // Only a hint: the monitor looks at the table again under its lock.
        if (Table() != nullptr) zav::MonitorRecord(result, size);
        return result;
    } catch (...) {
        return nullptr;
    }
}

DWORD ZAV_MemoryFree(void* block) {
    if (PlainRuntimeHeap(zav::LoadRelaxed(ZAVMemOptions))) {
        free(block);
        return 0;
    }
    return FreeWithAids(block);
}

static DWORD FreeWithAids(void* block) {
    if (block == nullptr) return 0;
    const enumZAVMemoryAlloc strategy = Strategy();
    void* start = (zav::LoadRelaxed(ZAVMemOptions) & ZAVMemOptGuard) != 0 ? CheckGuards(strategy, block) : block;
    if (strategy < ZAVMemAllocNew || strategy > ZAVMemAllocPrivateHeap) return ERROR_INVALID_PARAMETER;
    // The record goes first: once released, the address may be handed to
    // another thread, whose record this return must not clear.
    const ZAVUInt64 counted = CountedBytes(strategy, start);
    const bool held = Table() == nullptr || zav::MonitorForget(block);
    UncountBusy(counted);
    const DWORD result = Release(strategy, start);
    return held ? result : ZAV_MEM_NOT_MONITORED;
}

DWORD ZAV_MemoryFreePtr(void* pointerVariable) {
    if (pointerVariable == nullptr) return 0;
    void** variable = static_cast<void**>(pointerVariable);
    DWORD result = ZAV_MemoryFree(*variable);
    *variable = nullptr;
    return result;
}

DWORD ZAV_MemoryCompact(ZAVUInt64 intervalMilliseconds, int alsoProcessHeap) {
    if (!ZAV_IsWinNT()) return 0;
    HeapCompactFn compact = zav::LoadAcquire(gHeapCompact);
    if (compact == nullptr) {
        compact = Kernel32Entry<HeapCompactFn>("HeapCompact");
        if (compact == nullptr) return 0;
        zav::StoreRelease(gHeapCompact, compact);
    }
    if (ZAV_TimerValue() < zav::LoadRelaxed(gLastCompaction) + intervalMilliseconds * 1000u)
        return 0;
    SIZE_T largest;
    if (HANDLE heap = hZAVHeap) {
        if (alsoProcessHeap) compact(GetProcessHeap(), 0);
        largest = compact(heap, 0);
    } else {
        largest = compact(GetProcessHeap(), 0);
    }
    zav::StoreRelaxed(gLastCompaction, ZAV_TimerValue());
    return static_cast<DWORD>(largest);
}

void ZAV_MemoryPoolFree() {
    std::lock_guard<std::mutex> hold(gDefineLock);
    if (hZAVHeap != nullptr) {
        zav::StoreRelaxed(ZAV_PoolMemBusy, 0u);
        HeapDestroy(hZAVHeap);
        hZAVHeap = nullptr;
        zav::StoreRelease(ZAVMemAllocType, ZAVMemAllocUndefined);
    }
    zav::FreeMonitorTable();
}
