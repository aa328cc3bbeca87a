// The Win32 heap functions over PrivateHeap. The process heap is one more
// private heap, made on first use and kept for the life of the process, so
// it can be walked like any other.
#include <atomic>

#include "PrivateHeap.h"
#include "TestControls.h"

using zavplatform::Controls;
using zavplatform::PrivateHeap;

#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010

static PrivateHeap* ProcessHeap() {
    static PrivateHeap* heap = PrivateHeap::Create(1u << 20);
    return heap;
}

static PrivateHeap* AsHeap(HANDLE handle) {
    if (!PrivateHeap::IsHeap(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<PrivateHeap*>(handle);
}

extern "C" HANDLE WINAPI GetProcessHeap(void) { return ProcessHeap(); }

extern "C" HANDLE WINAPI HeapCreate(DWORD, SIZE_T initialSize, SIZE_T) {
    if (Controls().failHeapCreate.load()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    PrivateHeap* heap = PrivateHeap::Create(initialSize);
    if (heap == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return heap;
}

extern "C" BOOL WINAPI HeapDestroy(HANDLE handle) {
    PrivateHeap* heap = AsHeap(handle);
    if (heap == nullptr) return FALSE;
    if (heap == ProcessHeap()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    heap->Destroy();
    return TRUE;
}

extern "C" LPVOID WINAPI HeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
    PrivateHeap* heap = AsHeap(handle);
    return heap != nullptr ? heap->Allocate(bytes, (flags & HEAP_ZERO_MEMORY) != 0) : nullptr;
}

extern "C" LPVOID WINAPI HeapReAlloc(HANDLE handle, DWORD flags, LPVOID mem, SIZE_T bytes) {
    PrivateHeap* heap = AsHeap(handle);
    if (heap == nullptr) return nullptr;
    return heap->Reallocate(mem, bytes, (flags & HEAP_ZERO_MEMORY) != 0,
                            (flags & HEAP_REALLOC_IN_PLACE_ONLY) != 0);
}

extern "C" BOOL WINAPI HeapFree(HANDLE handle, DWORD, LPVOID mem) {
    PrivateHeap* heap = AsHeap(handle);
    if (heap == nullptr) return FALSE;
    if (mem == nullptr) return TRUE;  // as Windows: freeing null succeeds
    return heap->Free(mem) ? TRUE : FALSE;
}

extern "C" SIZE_T WINAPI HeapSize(HANDLE handle, DWORD, LPCVOID mem) {
    PrivateHeap* heap = AsHeap(handle);
    return heap != nullptr ? heap->SizeOf(mem) : static_cast<SIZE_T>(-1);
}

extern "C" BOOL WINAPI HeapValidate(HANDLE handle, DWORD, LPCVOID mem) {
    PrivateHeap* heap = AsHeap(handle);
    return heap != nullptr && heap->Validate(mem) ? TRUE : FALSE;
}

extern "C" SIZE_T WINAPI HeapCompact(HANDLE handle, DWORD) {
    PrivateHeap* heap = AsHeap(handle);
    if (heap == nullptr) return 0;
    SIZE_T largest = heap->Compact();
    SetLastError(largest == 0 ? ERROR_NOT_ENOUGH_MEMORY : ERROR_SUCCESS);
    return largest;
}

extern "C" BOOL WINAPI HeapLock(HANDLE handle) {
    PrivateHeap* heap = AsHeap(handle);
    if (heap == nullptr) return FALSE;
    heap->Lock();
    return TRUE;
}

extern "C" BOOL WINAPI HeapUnlock(HANDLE handle) {
    PrivateHeap* heap = AsHeap(handle);
    if (heap == nullptr) return FALSE;
    heap->Unlock();
    auto& controls = Controls();
    if (void (*action)(void*) = controls.afterHeapUnlock.exchange(nullptr)) action(controls.afterHeapUnlockContext.load());
    return TRUE;
}
extern "C" BOOL WINAPI HeapWalk(HANDLE handle, LPPROCESS_HEAP_ENTRY entry) {
    PrivateHeap* heap = AsHeap(handle);
    if (heap == nullptr) return FALSE;
    if (entry == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return heap->Walk(entry) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI HeapSetInformation(HANDLE handle, HEAP_INFORMATION_CLASS infoClass, PVOID info,
                                          SIZE_T length) {
    // Only the compatibility class is known; its value 2 asks for the
    // low-fragmentation front end, which this heap's segregated lists are.
    if (infoClass != HeapCompatibilityInformation || info == nullptr || length < sizeof(ULONG) ||
        *static_cast<ULONG*>(info) != 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PrivateHeap* heap = AsHeap(handle);
    if (heap == nullptr) return FALSE;
    heap->SetLowFragmentation();
    return TRUE;
}

extern "C" BOOL WINAPI HeapQueryInformation(HANDLE handle, HEAP_INFORMATION_CLASS infoClass, PVOID info,
                                            SIZE_T length, SIZE_T* returnLength) {
    if (returnLength != nullptr) *returnLength = sizeof(ULONG);
    if (infoClass != HeapCompatibilityInformation || info == nullptr || length < sizeof(ULONG)) {
        SetLastError(infoClass != HeapCompatibilityInformation ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    PrivateHeap* heap = AsHeap(handle);
    if (heap == nullptr) return FALSE;
    *static_cast<ULONG*>(info) = heap->LowFragmentation() ? 2 : 0;
    return TRUE;
}
