/// \file
/// The few Win32 calls a host makes around the library: initialising and
/// deleting the critical section a locked list's anchor points to (the
/// caller owns it), entering and leaving it, the last error after a call
/// that sets it, and the process's command line. On Windows they are the
/// system's own. On Linux the library exports them under its own prefix, so
/// that no Win32 name enters the process's symbol space; zav::win offers
/// them by their Win32 names on both.
#pragma once

#include "ZAVExport.h"

#ifndef _WIN32
#ifdef __cplusplus
extern "C" {
#endif
/// Makes cs usable: a lock its holder may take again.
ZAVUTIL1_API void ZAVPlatform_InitializeCriticalSection(zav::win::CRITICAL_SECTION* cs);
/// Releases what ZAVPlatform_InitializeCriticalSection set up; cs must be free.
ZAVUTIL1_API void ZAVPlatform_DeleteCriticalSection(zav::win::CRITICAL_SECTION* cs);
/// Waits for cs and holds it (once more, for its holder).
ZAVUTIL1_API void ZAVPlatform_EnterCriticalSection(zav::win::CRITICAL_SECTION* cs);
/// Gives up one hold of cs.
ZAVUTIL1_API void ZAVPlatform_LeaveCriticalSection(zav::win::CRITICAL_SECTION* cs);
/// The calling thread's last Windows error code, as the library set it.
ZAVUTIL1_API zav::win::DWORD ZAVPlatform_GetLastError(void);
/// Sets the calling thread's last error code.
ZAVUTIL1_API void ZAVPlatform_SetLastError(zav::win::DWORD code);
/// The program's arguments quoted as Windows quotes them; the same text for
/// the whole process.
ZAVUTIL1_API zav::win::WCHAR* ZAVPlatform_GetCommandLineW(void);
#ifdef __cplusplus
}
#endif
#endif

#ifdef __cplusplus
namespace zav {
/// The Win32 calls of a host by their Win32 names.
namespace win {
#ifdef _WIN32
inline void InitializeCriticalSection(zav::win::CRITICAL_SECTION* cs) { ::InitializeCriticalSection(cs); }
inline void DeleteCriticalSection(zav::win::CRITICAL_SECTION* cs) { ::DeleteCriticalSection(cs); }
inline void EnterCriticalSection(zav::win::CRITICAL_SECTION* cs) { ::EnterCriticalSection(cs); }
inline void LeaveCriticalSection(zav::win::CRITICAL_SECTION* cs) { ::LeaveCriticalSection(cs); }
inline zav::win::DWORD GetLastError() { return ::GetLastError(); }
inline void SetLastError(zav::win::DWORD code) { ::SetLastError(code); }
inline zav::win::WCHAR* GetCommandLineW() { return ::GetCommandLineW(); }
#else
inline void InitializeCriticalSection(zav::win::CRITICAL_SECTION* cs) { ZAVPlatform_InitializeCriticalSection(cs); }
inline void DeleteCriticalSection(zav::win::CRITICAL_SECTION* cs) { ZAVPlatform_DeleteCriticalSection(cs); }
inline void EnterCriticalSection(zav::win::CRITICAL_SECTION* cs) { ZAVPlatform_EnterCriticalSection(cs); }
inline void LeaveCriticalSection(zav::win::CRITICAL_SECTION* cs) { ZAVPlatform_LeaveCriticalSection(cs); }
inline zav::win::DWORD GetLastError() { return ZAVPlatform_GetLastError(); }
inline void SetLastError(zav::win::DWORD code) { ZAVPlatform_SetLastError(code); }
inline zav::win::WCHAR* GetCommandLineW() { return ZAVPlatform_GetCommandLineW(); }
#endif
}  // namespace win
}  // namespace zav
#endif
