// The process-wide memory manager: one allocation strategy behind
// ZAV_MemoryGet/ZAV_MemoryFree, with optional guard words, a table of live
// blocks and a running byte count.
#pragma once

#include "ZAVExport.h"

// 32 bits wide, and any value may be stored in it (it is then no strategy).
enum enumZAVMemoryAlloc : int32_t {
    ZAVMemAllocUndefined = 0,
    ZAVMemAllocNew = 1,          // global operator new / delete
    ZAVMemAllocCRT = 2,          // malloc / free
    ZAVMemAllocPrivateHeap = 3,  // a private heap of its own
};

// Option bits of ZAVMemOptions; the non-option bits are default per-call flags.
#define ZAVMemOptZeroFill 0x00000008u
#define ZAVMemOptLowFragHeap 0x00100000u
#define ZAVMemOptGuard 0x40000000u
// Default per-call flags: ZAVMemOptions without the definition-time options.
#define ZAVMemOptDefaultFlagsMask 0xBFEFFFFFu

// The monitor's code for an address it does not hold.
#define ZAV_MEM_NOT_MONITORED 20014u

struct ZAV_MemCtlEntry {
    DWORD ThreadId;
    void* Address;  // 0 marks a free record
    DWORD Size;
    WCHAR TimeText[10];  // "HH:MM:SS" of the allocation
};

#define ZAV_MEMCTL_ENTRIES 31

struct ZAV_MemCtlBlock {
    ZAV_MemCtlBlock* pNext;
    ZAV_MemCtlBlock* pPrior;
    ZAV_MemCtlEntry Entries[ZAV_MEMCTL_ENTRIES];
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ZAV_MemCtlEntry) == 32, "monitor record layout");
static_assert(sizeof(ZAV_MemCtlBlock) == 1000, "monitor block layout");
#endif

ZAVUTIL1_API extern HANDLE hZAVHeap;
ZAVUTIL1_API extern enumZAVMemoryAlloc ZAVMemAllocType;
ZAVUTIL1_API extern DWORD ZAVMemOptions;
ZAVUTIL1_API extern int ZAV_MonitorMemory;
ZAVUTIL1_API extern ZAVUInt64 ZAV_PoolMemBusy;
ZAVUTIL1_API extern ZAV_MemCtlBlock* g_pZAVMemCtl;

// Chooses the strategy (initial private-heap size 0 means 65536) and options.
ZAVUTIL1_API DWORD ZAV_MemoryDefine(enumZAVMemoryAlloc strategy, DWORD initialSize, DWORD options);
// Null for size 0 or on failure; flags 0 takes the defaults from ZAVMemOptions.
ZAVUTIL1_API void* ZAV_MemoryGet(DWORD size, DWORD flags);
// 0, 87, 20014 or a Windows code; throws LONG 9 for a damaged guarded block.
ZAVUTIL1_API DWORD ZAV_MemoryFree(void* block);
// As ZAV_MemoryFree on *(void**)pointerVariable, which is then set to null.
ZAVUTIL1_API DWORD ZAV_MemoryFreePtr(void* pointerVariable);
// Compacts at most once per interval; answers the largest free block reported.
ZAVUTIL1_API DWORD ZAV_MemoryCompact(ZAVUInt64 intervalMilliseconds, int alsoProcessHeap);
// Destroys the private heap (and every block in it) and the monitoring table.
ZAVUTIL1_API void ZAV_MemoryPoolFree();
