/// \file
/// The Win32 types the library's interface names (DWORD, WCHAR, HANDLE,
/// CRITICAL_SECTION, OVERLAPPED, PROCESS_MEMORY_COUNTERS, ...), and no Win32
/// function or macro.
///
/// On Windows they are the system's: <windows.h> (whole, so that a host's
/// later <commdlg.h> finds what it needs) and <psapi.h>. NOMINMAX is defined
/// around the include only when the host has not defined it, and removed
/// again. On other systems they live in zav::win, so that they never clash
/// with another Win32-style header (unixODBC's sql.h, X11's Xmd.h) or a
/// host's own names. A host written against the Win32 names defines
/// ZAVUTIL1_WIN32_NAMES before including the library's headers: zav::win is
/// then brought into the global namespace, with the few Win32 calls a host
/// makes around the library (ZAVHostCalls.h).
#pragma once

#include "ZAVCompiler.h"

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#define ZAV_DEFINED_NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>
#ifdef ZAV_DEFINED_NOMINMAX
#undef NOMINMAX
#undef ZAV_DEFINED_NOMINMAX
#endif

/// The calling convention of Win32 functions (WINAPI).
#define ZAV_WINAPI WINAPI

namespace zav {
/// The Win32 types, by the same names on every platform.
namespace win {
using ::BOOL;
using ::BYTE;
using ::WORD;
using ::DWORD;
using ::ULONG;
using ::LONG;
using ::UINT;
using ::LONGLONG;
using ::ULONGLONG;
using ::SIZE_T;
using ::PVOID;
using ::LPVOID;
using ::LPCVOID;
using ::HANDLE;
using ::WCHAR;
using ::LPWSTR;
using ::LPCWSTR;
using ::CHAR;
using ::LPSTR;
using ::LPCSTR;
using ::LPDWORD;
using ::DWORD_PTR;
using ::ULONG_PTR;
using ::HMODULE;
using ::HINSTANCE;
using ::FARPROC;
using ::LARGE_INTEGER;
using ::CRITICAL_SECTION;
using ::LPCRITICAL_SECTION;
using ::OVERLAPPED;
using ::LPOVERLAPPED;
using ::PROCESS_MEMORY_COUNTERS;
using ::PPROCESS_MEMORY_COUNTERS;
}  // namespace win
}  // namespace zav

#else

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

#define ZAV_WINAPI

struct ZAVPlatformModule;

namespace zav {
/// The Win32 types, with Win32's integer widths also on LP64.
namespace win {
// unixODBC's headers define BOOL as a macro; the type keeps its name here.
#pragma push_macro("BOOL")
#undef BOOL
typedef int32_t BOOL;
#pragma pop_macro("BOOL")
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef size_t SIZE_T;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t ULONG_PTR;
typedef ::ZAVPlatformModule* HMODULE;
typedef HMODULE HINSTANCE;
typedef intptr_t (*FARPROC)(void);

// The records live in a namespace of their own, so that argument-dependent
// lookup of a call that passes one finds no function of zav::win (the
// library's own code calls the stand-in's functions of the same names).
namespace records {

/// A 64-bit value in two halves.
typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;  ///< the low half
        LONG HighPart;  ///< the high half
    } u;                ///< the halves
    LONGLONG QuadPart;  ///< the whole
} LARGE_INTEGER;

/// A lock its holder may take again (recursive).
typedef struct _CRITICAL_SECTION {
    pthread_mutex_t Mutex;  ///< recursive
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

/// The position and completion of an overlapped file write.
typedef struct _OVERLAPPED {
    ULONG_PTR Internal;      ///< the completion status
    ULONG_PTR InternalHigh;  ///< bytes transferred
    union {
        struct {
            DWORD Offset;      ///< the position's low half
            DWORD OffsetHigh;  ///< the position's high half
        };
        PVOID Pointer;  ///< the position as one value
    };
    HANDLE hEvent;  ///< set when the write completes
} OVERLAPPED, *LPOVERLAPPED;

/// A process's memory counters (psapi).
typedef struct _PROCESS_MEMORY_COUNTERS {
    DWORD cb;                           ///< the record's size
    DWORD PageFaultCount;               ///< page faults
    SIZE_T PeakWorkingSetSize;          ///< the highest resident size
    SIZE_T WorkingSetSize;              ///< the resident size
    SIZE_T QuotaPeakPagedPoolUsage;     ///< the highest paged-pool use
    SIZE_T QuotaPagedPoolUsage;         ///< paged-pool use
    SIZE_T QuotaPeakNonPagedPoolUsage;  ///< the highest non-paged-pool use
    SIZE_T QuotaNonPagedPoolUsage;      ///< non-paged-pool use
    SIZE_T PagefileUsage;               ///< private committed bytes
    SIZE_T PeakPagefileUsage;           ///< the highest private committed bytes
} PROCESS_MEMORY_COUNTERS, *PPROCESS_MEMORY_COUNTERS;

}  // namespace records

using records::LARGE_INTEGER;
using records::CRITICAL_SECTION;
using records::LPCRITICAL_SECTION;
using records::OVERLAPPED;
using records::LPOVERLAPPED;
using records::PROCESS_MEMORY_COUNTERS;
using records::PPROCESS_MEMORY_COUNTERS;
}  // namespace win
}  // namespace zav

#ifdef ZAVUTIL1_WIN32_NAMES
using namespace zav::win;
#endif

#endif  // _WIN32
