// The Win32 subset the library is written against. On Windows this is the
// real API; elsewhere libzavplatform provides the same names over POSIX.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <wchar.h>

#else  // POSIX stand-in

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

#define ZAVPLATFORM_API __attribute__((visibility("default")))
#define WINAPI

// Win32 integer widths, also on LP64.
typedef int32_t BOOL;
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
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;

typedef struct ZAVPlatformModule* HMODULE;
typedef HMODULE HINSTANCE;
typedef intptr_t(WINAPI* FARPROC)(void);

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER;

// Windows error codes the library and the stand-in use.
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_BLOCK 9L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_ALREADY_EXISTS 183L

#ifdef __cplusplus
extern "C" {
#endif

// --- Version -------------------------------------------------------------
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *LPOSVERSIONINFOW;

ZAVPLATFORM_API BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info);

// --- Timer ---------------------------------------------------------------
ZAVPLATFORM_API BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);
ZAVPLATFORM_API BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count);
ZAVPLATFORM_API DWORD WINAPI GetTickCount(void);

// --- Last error and threads ------------------------------------------------
ZAVPLATFORM_API DWORD WINAPI GetLastError(void);
ZAVPLATFORM_API void WINAPI SetLastError(DWORD code);
ZAVPLATFORM_API DWORD WINAPI GetCurrentThreadId(void);
ZAVPLATFORM_API DWORD WINAPI GetCurrentProcessId(void);

// --- Critical sections (recursive for the holder) -------------------------
typedef struct _CRITICAL_SECTION {
    pthread_mutex_t Mutex;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

ZAVPLATFORM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
ZAVPLATFORM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
ZAVPLATFORM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs);
ZAVPLATFORM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);
ZAVPLATFORM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);

// --- Heaps -----------------------------------------------------------------
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
#define HEAP_ZERO_MEMORY 0x00000008

#define PROCESS_HEAP_REGION 0x0001
#define PROCESS_HEAP_UNCOMMITTED_RANGE 0x0002
#define PROCESS_HEAP_ENTRY_BUSY 0x0004
#define PROCESS_HEAP_ENTRY_MOVEABLE 0x0010
#define PROCESS_HEAP_ENTRY_DDESHARE 0x0020

typedef enum _HEAP_INFORMATION_CLASS {
    HeapCompatibilityInformation = 0
} HEAP_INFORMATION_CLASS;

typedef struct _PROCESS_HEAP_ENTRY {
    PVOID lpData;
    DWORD cbData;
    BYTE cbOverhead;
    BYTE iRegionIndex;
    WORD wFlags;
    union {
        struct {
            HANDLE hMem;
            DWORD dwReserved[3];
        } Block;
        struct {
            DWORD dwCommittedSize;
            DWORD dwUnCommittedSize;
            LPVOID lpFirstBlock;
            LPVOID lpLastBlock;
        } Region;
    };
} PROCESS_HEAP_ENTRY, *LPPROCESS_HEAP_ENTRY;

ZAVPLATFORM_API HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
ZAVPLATFORM_API BOOL WINAPI HeapDestroy(HANDLE heap);
ZAVPLATFORM_API LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
ZAVPLATFORM_API LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, SIZE_T bytes);
ZAVPLATFORM_API BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID mem);
ZAVPLATFORM_API SIZE_T WINAPI HeapSize(HANDLE heap, DWORD flags, LPCVOID mem);
ZAVPLATFORM_API BOOL WINAPI HeapValidate(HANDLE heap, DWORD flags, LPCVOID mem);
ZAVPLATFORM_API SIZE_T WINAPI HeapCompact(HANDLE heap, DWORD flags);
ZAVPLATFORM_API BOOL WINAPI HeapLock(HANDLE heap);
ZAVPLATFORM_API BOOL WINAPI HeapUnlock(HANDLE heap);
ZAVPLATFORM_API BOOL WINAPI HeapWalk(HANDLE heap, LPPROCESS_HEAP_ENTRY entry);
ZAVPLATFORM_API BOOL WINAPI HeapSetInformation(HANDLE heap, HEAP_INFORMATION_CLASS infoClass,
                                               PVOID info, SIZE_T length);
ZAVPLATFORM_API BOOL WINAPI HeapQueryInformation(HANDLE heap, HEAP_INFORMATION_CLASS infoClass,
                                                 PVOID info, SIZE_T length, SIZE_T* returnLength);
ZAVPLATFORM_API HANDLE WINAPI GetProcessHeap(void);

// --- Modules -------------------------------------------------------------
ZAVPLATFORM_API HMODULE WINAPI LoadLibraryW(LPCWSTR name);
ZAVPLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
ZAVPLATFORM_API BOOL WINAPI FreeLibrary(HMODULE module);

// --- C runtime ------------------------------------------------------------
// The Windows runtime's time of day, "HH:MM:SS"; buffer needs 9 characters.
ZAVPLATFORM_API WCHAR* _wstrtime(WCHAR* buffer);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
