/// \file
/// The process-wide memory manager: one allocation strategy behind
/// ZAV_MemoryGet/ZAV_MemoryFree, with optional guard words, a table of live
/// blocks and a running byte count.
#pragma once

#include "ZAVExport.h"

/// The allocation strategy. 32 bits wide, and any value may be stored in it
/// (it is then no strategy).
enum enumZAVMemoryAlloc : int32_t {
    ZAVMemAllocUndefined = 0,    ///< none chosen yet; the first ZAV_MemoryGet chooses CRT
    ZAVMemAllocNew = 1,          ///< global operator new / delete
    ZAVMemAllocCRT = 2,          ///< malloc / free
    ZAVMemAllocPrivateHeap = 3,  ///< a private heap of its own
};

// Option bits of ZAVMemOptions; the non-option bits are default per-call flags.
/// Per-call flag: the caller's area of the block is zeroed.
#define ZAVMemOptZeroFill 0x00000008u
/// The private heap, created on XP or later, uses the low-fragmentation heap.
#define ZAVMemOptLowFragHeap 0x00100000u
/// Every block gets a guard header and trailer, checked when it is freed.
#define ZAVMemOptGuard 0x40000000u
/// Default per-call flags: ZAVMemOptions without the definition-time options.
#define ZAVMemOptDefaultFlagsMask 0xBFEFFFFFu

/// The monitor's code for an address it does not hold.
#define ZAV_MEM_NOT_MONITORED 20014u

/// One live block in the monitoring table.
struct ZAV_MemCtlEntry {
    zav::win::DWORD ThreadId;      ///< the thread that obtained the block
    void* Address;       ///< the caller's address; 0 marks a free record
    zav::win::DWORD Size;          ///< the size asked for, without guard words
    zav::win::WCHAR TimeText[10];  ///< "HH:MM:SS" of the allocation
};

/// Records per block of the monitoring table.
#define ZAV_MEMCTL_ENTRIES 31

/// One block of the monitoring table, a chain that starts at g_pZAVMemCtl.
struct ZAV_MemCtlBlock {
    ZAV_MemCtlBlock* pNext;   ///< the next block; null in the last
    ZAV_MemCtlBlock* pPrior;  ///< the previous block; null in the first
    ZAV_MemCtlEntry Entries[ZAV_MEMCTL_ENTRIES];  ///< the records, free ones with Address 0
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ZAV_MemCtlEntry) == 32, "monitor record layout");
static_assert(sizeof(ZAV_MemCtlBlock) == 1000, "monitor block layout");
#endif

/// The private heap of ZAVMemAllocPrivateHeap; null when there is none.
/// Shared as the rule in ZAVGlobals.h says.
ZAVUTIL1_API extern zav::win::HANDLE hZAVHeap;
/// The strategy in force; ZAVMemAllocUndefined until the manager is defined.
ZAVUTIL1_API extern enumZAVMemoryAlloc ZAVMemAllocType;
/// Option bits; the other bits are ZAV_MemoryGet's default flags.
ZAVUTIL1_API extern zav::win::DWORD ZAVMemOptions;
/// Non-zero: keep the monitoring table (read when the manager is defined)
/// and count ZAV_PoolMemBusy (read at every call).
ZAVUTIL1_API extern int ZAV_MonitorMemory;
/// Bytes held through the CRT and private-heap strategies, as the heap
/// measures its blocks; counted while ZAV_MonitorMemory is on.
ZAVUTIL1_API extern ZAVUInt64 ZAV_PoolMemBusy;
/// First block of the monitoring table; null when there is none.
ZAVUTIL1_API extern ZAV_MemCtlBlock* g_pZAVMemCtl;

/// Chooses the strategy (initial private-heap size 0 means 65536) and options;
/// 0, or the error of a failed heap creation. A private heap, once chosen,
/// stays until ZAV_MemoryPoolFree: later calls change only the options.
ZAVUTIL1_API zav::win::DWORD ZAV_MemoryDefine(enumZAVMemoryAlloc strategy, zav::win::DWORD initialSize, zav::win::DWORD options);
/// A block of size bytes; null for size 0 or on failure. Flags 0 takes the
/// defaults from ZAVMemOptions.
ZAVUTIL1_API void* ZAV_MemoryGet(zav::win::DWORD size, zav::win::DWORD flags);
/// Returns a block (null is allowed): 0, 87, 20014 or a Windows code; throws
/// LONG 9 for a damaged guarded block.
ZAVUTIL1_API zav::win::DWORD ZAV_MemoryFree(void* block);
/// As ZAV_MemoryFree on *(void**)pointerVariable, which is then set to null.
ZAVUTIL1_API zav::win::DWORD ZAV_MemoryFreePtr(void* pointerVariable);
/// Compacts the heap at most once per interval; answers the largest free block
/// that compaction reported, or 0.
ZAVUTIL1_API zav::win::DWORD ZAV_MemoryCompact(ZAVUInt64 intervalMilliseconds, int alsoProcessHeap);
/// Destroys the private heap (and every block in it) and the monitoring table.
ZAVUTIL1_API void ZAV_MemoryPoolFree();
