/// \file
/// The one export macro, the wide character and its literal.
#pragma once

#include "ZAVWin32Types.h"

// The library's sources and its tests use the whole Win32 subset by its
// global names (the stand-in's header, not installed).
#if defined(ZAVUTIL1_BUILD) || defined(ZAVUTIL1_INTERNALS)
#include "ZAVPlatform.h"
#endif

/// \def ZAVUTIL1_API
/// Marks a name the library exports (dllexport while building the DLL,
/// dllimport in its hosts; default visibility on ELF; nothing on Windows
/// for the static library, ZAVUTIL1_STATIC).
/// \def ZAV_WIDE
/// The platform's wide literal of a narrow one (L"" on Windows, u"" elsewhere).
#if defined(_WIN32)
#if defined(ZAVUTIL1_STATIC)
#define ZAVUTIL1_API
#elif defined(ZAVUTIL1_BUILD)
#define ZAVUTIL1_API __declspec(dllexport)
#else
#define ZAVUTIL1_API __declspec(dllimport)
#endif
#define ZAV_WIDE(text) L##text
#else
#define ZAVUTIL1_API ZAV_VISIBLE
#define ZAV_WIDE(text) u##text
#endif

/// A literal of the platform's wide type (WCHAR): ZAV_TEXT("abc").
#define ZAV_TEXT(text) ZAV_WIDE(text)

#include <stdint.h>

/// The Windows runtime's unsigned __int64: timer values and byte counts.
typedef uint64_t ZAVUInt64;
