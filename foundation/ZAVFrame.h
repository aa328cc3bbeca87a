/// \file
/// Library frame and platform queries: handle test, version tests, byte order,
/// the microsecond timer and CRC-32.
#pragma once

#include "ZAVExport.h"

/// 1 unless the handle is null or INVALID_HANDLE_VALUE.
ZAVUTIL1_API int ZAV_ValidHandle(void* handle);

// Version tests; each means "this version or later". Read once per process.
/// 1 on the NT platform family, else 0.
ZAVUTIL1_API int ZAV_IsWinNT();
/// 1 on NT 5.0 (Windows 2000) or later, else 0.
ZAVUTIL1_API int ZAV_IsWin2K();
/// 1 on NT 5.1 (Windows XP) or later, else 0.
ZAVUTIL1_API int ZAV_IsWinXP();
/// 1 on NT 5.2 (Windows Server 2003) or later, else 0.
ZAVUTIL1_API int ZAV_IsWin2003();

/// Always 0: every platform of the library is little-endian.
ZAVUTIL1_API int ZAV_IsBigEndian();

/// Monotonic microseconds; only differences between readings mean anything.
ZAVUTIL1_API ZAVUInt64 ZAV_TimerValue();

/// Reflected CRC-32 (0xEDB88320) without the customary inversions: pass
/// 0xFFFFFFFF and invert the result for the standard CRC-32 of a block.
ZAVUTIL1_API zav::win::DWORD ZAV_CRCCompute(zav::win::DWORD crc, unsigned char* const buffer, zav::win::DWORD length);

/// Always 42; lets a host check that the library is the one it expects.
ZAVUTIL1_API int fnZAVUtil1();
