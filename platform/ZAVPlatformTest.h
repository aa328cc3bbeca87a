// Test-only controls of the POSIX stand-in. They let a test process pose as
// another Windows (platform id, version), force the fall-back paths the
// library must survive, and move the clocks to far-away values. Lazy caches
// of the library read these once, so tests that use them run in a fresh
// process (a forked death test).
#pragma once

#ifndef _WIN32
#include "ZAVPlatform.h"

#ifdef __cplusplus
extern "C" {
#endif

// The version record that GetVersionExW reports from now on.
ZAVPLATFORM_API void ZAVPlatformTest_EmulateVersion(DWORD platformId, DWORD major, DWORD minor,
                                                    DWORD build);
// Makes GetVersionExW fail (FALSE, record untouched).
ZAVPLATFORM_API void ZAVPlatformTest_FailVersionQuery(BOOL fail);

// Makes QueryPerformanceFrequency fail, as on hardware without the counter.
ZAVPLATFORM_API void ZAVPlatformTest_FailPerformanceFrequency(BOOL fail);
// Counter frequency to report (counts per second; 0 restores the native 1e9).
ZAVPLATFORM_API void ZAVPlatformTest_SetPerformanceFrequency(LONGLONG frequency);
// Added to every counter reading: emulates a machine that has been up for long.
ZAVPLATFORM_API void ZAVPlatformTest_SetPerformanceCounterOffset(LONGLONG counts);
// Added (mod 2^32) to every GetTickCount reading: brings the 49.7-day wrap near.
ZAVPLATFORM_API void ZAVPlatformTest_SetTickCountOffset(DWORD milliseconds);

// Hides one entry point from GetProcAddress, as on a Windows that lacks it.
ZAVPLATFORM_API void ZAVPlatformTest_HideProcedure(LPCSTR name, BOOL hidden);
// Runs once, right after the next HeapUnlock has released its heap: lets a
// test change a heap between a walk and what is done with its result.
ZAVPLATFORM_API void ZAVPlatformTest_AfterNextHeapUnlock(void (*action)(void* context), void* context);
// Runs once, inside the next SetEvent, after the event has changed state
// and before SetEvent is done with it: lets a test see what its waiters can
// do in that moment.
ZAVPLATFORM_API void ZAVPlatformTest_InsideNextSetEvent(void (*action)(void* context), void* context);
// Makes HeapCreate fail with ERROR_NOT_ENOUGH_MEMORY.
ZAVPLATFORM_API void ZAVPlatformTest_FailHeapCreate(BOOL fail);

// Installs a network provider that knows this user (null: it knows none).
ZAVPLATFORM_API void ZAVPlatformTest_SetNetworkUser(LPCWSTR name);
// Installs a network provider and maps drive ("X:") to remote; null unmaps.
ZAVPLATFORM_API void ZAVPlatformTest_MapDrive(LPCWSTR drive, LPCWSTR remote);
// The user name GetUserName reports instead of the real one (null: the real one).
ZAVPLATFORM_API void ZAVPlatformTest_SetUserName(LPCWSTR name);
// Makes GetUserNameW/A fail.
ZAVPLATFORM_API void ZAVPlatformTest_FailUserName(BOOL fail);
// The computer name reported instead of the host's (null: the host's); it
// may be longer than the Windows limit, to reach the overflow path.
ZAVPLATFORM_API void ZAVPlatformTest_SetComputerName(LPCWSTR name);
// Where event sources look for the journal's socket and the syslog socket
// (null: the system's; "": nowhere). With neither listening, reports go to
// the text log beside the program.
ZAVPLATFORM_API void ZAVPlatformTest_SetEventLogSockets(const char* journal, const char* syslog);
// Syslog lines to the socket at path, the journal not looked for (null: the
// system's sockets again).
ZAVPLATFORM_API void ZAVPlatformTest_SetEventLogSocket(const char* path);
// Makes RegisterEventSourceW fail.
ZAVPLATFORM_API void ZAVPlatformTest_FailRegisterEventSource(BOOL fail);

// Refuses the nth allocation from now on (1: the next one), counted over the
// library's memory manager and every heap of the stand-in; with persistent,
// every later one as well. 0 disarms.
ZAVPLATFORM_API void ZAVPlatformTest_FailAllocation(DWORD nth, BOOL persistent);
// Allocations refused since the last ZAVPlatformTest_FailAllocation.
ZAVPLATFORM_API DWORD ZAVPlatformTest_AllocationsRefused(void);
// Allocations made or refused since the last ZAVPlatformTest_FailAllocation
// that armed the control (a disarmed one counts nothing): armed with an nth
// that is never reached, it measures how many a workload makes.
ZAVPLATFORM_API DWORD ZAVPlatformTest_AllocationsCounted(void);
// Makes the kth WriteFile from now on fail with ERROR_DISK_FULL after at most
// partialBytes of its data have reached the file, as a full disk does; with
// persistent, every later write as well. 0 disarms.
ZAVPLATFORM_API void ZAVPlatformTest_FailWrite(DWORD kth, DWORD partialBytes, BOOL persistent);
// Writes failed since the last ZAVPlatformTest_FailWrite.
ZAVPLATFORM_API DWORD ZAVPlatformTest_WritesFailed(void);
// WriteFile calls since the last ZAVPlatformTest_FailWrite.
ZAVPLATFORM_API DWORD ZAVPlatformTest_WritesCounted(void);

// How many user, network-user and computer-name queries were made so far.
ZAVPLATFORM_API DWORD ZAVPlatformTest_IdentityQueries(void);

#ifdef __cplusplus
}
#endif
#endif
