// The Win32 subset the library is written against. On Windows this is the
// real API; elsewhere the stand-in in this folder provides the same names
// over POSIX, linked into the library and bound inside it.
#pragma once

#include "ZAVWin32Types.h"

#ifdef _WIN32

#include <winnetwk.h>
#include <malloc.h>
#include <wchar.h>

// ANSI text converts byte for byte in the C locale. The runtime's own
// conversions already do so there, so the library never needs to ask.
static inline BOOL ZAVPlatform_ByteValuedLocale(void) { return FALSE; }

#else  // POSIX stand-in

#include <pthread.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <time.h>

#define ZAVPLATFORM_API ZAV_VISIBLE
#define WINAPI

// The types the interface shares (ZAVWin32Types.h), here by their Win32
// names; the rest only the library and the stand-in use.
using zav::win::BOOL;
using zav::win::BYTE;
using zav::win::WORD;
using zav::win::DWORD;
using zav::win::ULONG;
using zav::win::LONG;
using zav::win::UINT;
using zav::win::LONGLONG;
using zav::win::ULONGLONG;
using zav::win::SIZE_T;
using zav::win::PVOID;
using zav::win::LPVOID;
using zav::win::LPCVOID;
using zav::win::HANDLE;
using zav::win::WCHAR;
using zav::win::LPWSTR;
using zav::win::LPCWSTR;
using zav::win::CHAR;
using zav::win::LPSTR;
using zav::win::LPCSTR;
using zav::win::LPDWORD;
using zav::win::DWORD_PTR;
using zav::win::ULONG_PTR;
using zav::win::HMODULE;
using zav::win::HINSTANCE;
using zav::win::FARPROC;
using zav::win::LARGE_INTEGER;
using zav::win::CRITICAL_SECTION;
using zav::win::LPCRITICAL_SECTION;
using zav::win::OVERLAPPED;
using zav::win::LPOVERLAPPED;
using zav::win::PROCESS_MEMORY_COUNTERS;
using zav::win::PPROCESS_MEMORY_COUNTERS;
typedef DWORD LCID;
typedef void* HLOCAL;
typedef void* PSID;
typedef void* LPSECURITY_ATTRIBUTES;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

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
#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_WORK_DONE 235L
#define ERROR_PARTIAL_COPY 299L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_GEN_FAILURE 31L
#define ERROR_BAD_DEVICE 1200L
#define ERROR_NO_NETWORK 1222L
#define ERROR_CANT_RESOLVE_FILENAME 1921L
#define ERROR_NOT_CONNECTED 2250L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILE_EXISTS 80L
#define ERROR_DISK_FULL 112L
#define ERROR_MR_MID_NOT_FOUND 317L
#define NO_ERROR 0L

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

// --- Text services ----------------------------------------------------------
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

// A null text has length 0.
ZAVPLATFORM_API int WINAPI lstrlenW(LPCWSTR text);
ZAVPLATFORM_API LPWSTR WINAPI lstrcpyW(LPWSTR dest, LPCWSTR source);
// Copies at most count - 1 characters and always terminates (count > 0).
ZAVPLATFORM_API LPWSTR WINAPI lstrcpynW(LPWSTR dest, LPCWSTR source, int count);
// A negative count means the text runs to its terminator. Ordinal under
// every locale; 0 (ERROR_INVALID_PARAMETER) for a null text with a count.
ZAVPLATFORM_API int WINAPI CompareStringW(LCID locale, DWORD flags, LPCWSTR a, int countA, LPCWSTR b,
                                          int countB);
// One code unit forward, never past a terminator; one back, never before start.
ZAVPLATFORM_API LPWSTR WINAPI CharNextW(LPCWSTR current);
ZAVPLATFORM_API LPWSTR WINAPI CharPrevW(LPCWSTR start, LPCWSTR current);

// --- Files -------------------------------------------------------------------
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_DEVICE 0x00000040
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400

// Wide paths are UTF-8 file names; ANSI paths are used byte for byte.
// Failures set the Windows code: 2 missing file, 3 missing directory on
// the way, 5 access denied.
ZAVPLATFORM_API DWORD WINAPI GetFileAttributesW(LPCWSTR path);
ZAVPLATFORM_API DWORD WINAPI GetFileAttributesA(LPCSTR path);

// --- Network provider and identity ---------------------------------------------
#define MAX_COMPUTERNAME_LENGTH 15

// No network provider: ERROR_NO_NETWORK, unless a test has set one up.
ZAVPLATFORM_API DWORD WINAPI WNetGetConnectionW(LPCWSTR localName, LPWSTR remoteName, LPDWORD length);
ZAVPLATFORM_API DWORD WINAPI WNetGetConnectionA(LPCSTR localName, LPSTR remoteName, LPDWORD length);
ZAVPLATFORM_API DWORD WINAPI WNetGetUserW(LPCWSTR name, LPWSTR userName, LPDWORD length);
ZAVPLATFORM_API DWORD WINAPI WNetGetUserA(LPCSTR name, LPSTR userName, LPDWORD length);
// The effective user's login name; *size counts the terminator on success.
ZAVPLATFORM_API BOOL WINAPI GetUserNameW(LPWSTR buffer, LPDWORD size);
ZAVPLATFORM_API BOOL WINAPI GetUserNameA(LPSTR buffer, LPDWORD size);
// The host name's first label in upper case, at most 15 characters; *size
// is the name's length on success, the needed size with the terminator on
// ERROR_BUFFER_OVERFLOW.
ZAVPLATFORM_API BOOL WINAPI GetComputerNameW(LPWSTR buffer, LPDWORD size);
ZAVPLATFORM_API BOOL WINAPI GetComputerNameA(LPSTR buffer, LPDWORD size);

// --- Files: handles, reading position, writes -------------------------------------
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

// Sharing is approximated with an exclusive advisory lock: an opening for
// writing that does not share writing fails with ERROR_SHARING_VIOLATION
// while another such opening holds the file, in this or another process.
ZAVPLATFORM_API HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                          DWORD disposition, DWORD flags, HANDLE templateFile);
ZAVPLATFORM_API HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                          DWORD disposition, DWORD flags, HANDLE templateFile);
ZAVPLATFORM_API BOOL WINAPI WriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                                      LPOVERLAPPED overlapped);
ZAVPLATFORM_API DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
// Cuts the file (or extends it) to its current position.
ZAVPLATFORM_API BOOL WINAPI SetEndOfFile(HANDLE file);
ZAVPLATFORM_API BOOL WINAPI CloseHandle(HANDLE handle);

// --- Events and overlapped completion ------------------------------------------------
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define INFINITE 0xFFFFFFFFu
#define ERROR_IO_INCOMPLETE 996L
#define ERROR_IO_PENDING 997L

ZAVPLATFORM_API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                                           LPCWSTR name);
ZAVPLATFORM_API BOOL WINAPI SetEvent(HANDLE event);
ZAVPLATFORM_API BOOL WINAPI ResetEvent(HANDLE event);
ZAVPLATFORM_API DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Overlapped writes complete before WriteFile returns (which still answers
// FALSE with ERROR_IO_PENDING); their event is set.
ZAVPLATFORM_API BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred,
                                                BOOL wait);

// --- Processes and their memory -----------------------------------------------------
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_VM_READ 0x0010

// Only the own process can be opened.
ZAVPLATFORM_API HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD processId);
// The own process's pseudo handle.
ZAVPLATFORM_API HANDLE WINAPI GetCurrentProcess(void);
// Copies the own process's memory without faulting; a range that is not
// readable to its end fails with ERROR_PARTIAL_COPY.
ZAVPLATFORM_API BOOL WINAPI ReadProcessMemory(HANDLE process, LPCVOID address, LPVOID buffer, SIZE_T size,
                                              SIZE_T* read);
// psapi's query, found through LoadLibraryW("psapi.dll"): one read of
// /proc/self/statm. PagefileUsage is the private writable memory (data and
// stacks, VmData + VmStk), WorkingSetSize the resident bytes; the peaks are
// the highest values this handle has answered; PageFaultCount is 0.
ZAVPLATFORM_API BOOL WINAPI GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD size);

// --- Virtual memory ---------------------------------------------------------------------
#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_RELEASE 0x00008000
#define MEM_FREE 0x00010000
#define MEM_PRIVATE 0x00020000
#define MEM_MAPPED 0x00040000
#define MEM_IMAGE 0x01000000
#define PAGE_NOACCESS 0x01
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define PAGE_EXECUTE_READ 0x20
#define PAGE_EXECUTE_READWRITE 0x40

typedef struct _MEMORY_BASIC_INFORMATION {
    PVOID BaseAddress;
    PVOID AllocationBase;
    DWORD AllocationProtect;
    SIZE_T RegionSize;
    DWORD State;
    DWORD Protect;
    DWORD Type;
} MEMORY_BASIC_INFORMATION, *PMEMORY_BASIC_INFORMATION;

// Whole pages from the system: MEM_RESERVE alone maps them inaccessible,
// MEM_COMMIT readable and writable as protect says.
ZAVPLATFORM_API LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);
// MEM_RELEASE with size 0 returns what VirtualAlloc handed out at address.
ZAVPLATFORM_API BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD type);
// The region holding address, from /proc/self/maps: a mapping is committed
// (reserved when inaccessible), a hole between mappings is free. 0 past the
// end of the user address space.
ZAVPLATFORM_API SIZE_T WINAPI VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION info, SIZE_T size);

// --- Local memory, interlocked counts ----------------------------------------------
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
ZAVPLATFORM_API HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
// Null on success, as Windows answers.
ZAVPLATFORM_API HLOCAL WINAPI LocalFree(HLOCAL memory);
ZAVPLATFORM_API LONG WINAPI InterlockedIncrement(LONG volatile* value);
ZAVPLATFORM_API LONG WINAPI InterlockedDecrement(LONG volatile* value);

// --- Message formatting --------------------------------------------------------------
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

// The message-format language over a string source: %1..%99 with optional
// !printf-spec! (default !s!), %0, %n, %r, %t, %%, "% ", "%.", "%!". There
// are no message tables: a call without FROM_STRING fails. With
// ALLOCATE_BUFFER, buffer is the address of a pointer that receives a
// LocalAlloc block of at least size characters (set to null first).
// Answers the characters written without the terminator; 0 on failure, or
// with ERROR_NO_WORK_DONE for an empty result. Source line breaks become
// CR LF, or blanks under a line width (the low byte of flags), which wraps
// lines to fewer characters; IGNORE_INSERTS keeps every escape but %0, %n,
// %r and %t as it stands. The W form writes into the caller's buffer as it
// goes: when it overflows, what fit and a terminator remain, and no further
// argument is read. The A form leaves the caller's buffer alone on failure
// and fails with ERROR_INVALID_PARAMETER for 32767 characters or more.
// In FormatMessageW !s! takes wide text and !S! narrow; in FormatMessageA
// the other way round.
ZAVPLATFORM_API DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                            LPWSTR buffer, DWORD size, va_list* arguments);
ZAVPLATFORM_API DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                            LPSTR buffer, DWORD size, va_list* arguments);

// --- Event log ------------------------------------------------------------------------
#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

// The system log (see ZAVEventOutlet.h): a source registered while the
// journal listens sends each report as one entry of its native protocol
// (MESSAGE the strings joined by blanks, PRIORITY and SYSLOG_FACILITY user,
// SYSLOG_IDENTIFIER the source, SYSLOG_PID, EVENT_ID); else, while /dev/log
// listens, as one syslog(3) line; else it appends to EventLog.txt beside the
// program. A report waits at most 100 ms for a full queue, then fails.
ZAVPLATFORM_API HANDLE WINAPI RegisterEventSourceW(LPCWSTR server, LPCWSTR source);
ZAVPLATFORM_API BOOL WINAPI ReportEventW(HANDLE source, WORD type, WORD category, DWORD eventId, PSID user,
                                         WORD stringCount, DWORD dataSize, LPCWSTR* strings, LPVOID data);
ZAVPLATFORM_API BOOL WINAPI DeregisterEventSource(HANDLE source);

// --- Process -------------------------------------------------------------------
// The program's arguments as the system keeps them, quoted as Windows quotes
// them; the same text for the whole process.
ZAVPLATFORM_API LPWSTR WINAPI GetCommandLineW(void);
// Ends the process at once with the code; open stdio streams are flushed.
[[noreturn]] ZAVPLATFORM_API void WINAPI ExitProcess(UINT code);

// --- C runtime ------------------------------------------------------------
// The Windows runtime's time of day, "HH:MM:SS"; buffer needs 9 characters.
ZAVPLATFORM_API WCHAR* _wstrtime(WCHAR* buffer);
// "MM/DD/YY"; buffer needs 9 characters.
ZAVPLATFORM_API WCHAR* _wstrdate(WCHAR* buffer);
// "Wed Jan 02 02:03:55 1980\n" in local time, in a per-thread buffer.
ZAVPLATFORM_API WCHAR* _wctime(const time_t* moment);
// The bytes usable in a block from malloc (at least the size asked for).
ZAVPLATFORM_API size_t _msize(void* block);
// Whether the calling thread's locale is the C/POSIX one, where ANSI text
// converts byte for byte as in the Windows runtime's default locale: byte
// 0xE9 is U+00E9. Other locales convert through their own encoding.
ZAVPLATFORM_API BOOL ZAVPlatform_ByteValuedLocale(void);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32
