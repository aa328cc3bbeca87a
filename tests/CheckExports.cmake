# Compares the dynamic symbols a shared library defines with a checked-in,
# demangled list (one per line, sorted). Run with -DLIBRARY= -DEXPECTED=.
# Whatever the list says, it fails on a name that belongs to another layer:
# a Win32 or runtime function (the stand-in's names must stay inside the
# library, or another Win32 layer in the process captures its calls), one of
# the stand-in's test hooks, or an internal (C++ names not of ours).
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND nm -D --defined-only -C ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(actual "")
foreach(line IN LISTS lines)
  # "address type name"; absolute linker symbols (type A) are not ours.
  # Sanitizer builds add their own instrumentation symbols; those are theirs.
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) (.+)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
    set(name "${CMAKE_MATCH_2}")
    if(NOT name MATCHES "^__(odr_asan|asan|tsan|ubsan|sancov)")
      list(APPEND actual "${name}")
    endif()
  endif()
endforeach()
list(SORT actual)
list(REMOVE_DUPLICATES actual)

# The library's own C names start with ZAV; its exported data keeps the
# names hosts know (g_*, gptr*, hZAVHeap). C++ names name a ZAV class.
set(win32_names CloseHandle CreateFileA CreateFileW GetLastError SetLastError HeapAlloc HeapFree
  HeapCreate GetProcessHeap GetCommandLineW ExitProcess InitializeCriticalSection
  EnterCriticalSection LeaveCriticalSection DeleteCriticalSection GetComputerNameW GetUserNameW
  FormatMessageW ReportEventW RegisterEventSourceW LoadLibraryW GetProcAddress VirtualQuery
  lstrlenW lstrcpyW lstrcpynW _wstrtime _wstrdate _wctime _msize)
set(foreign "")
set(hooks "")
set(internals "")
foreach(name IN LISTS actual)
  if(name MATCHES "^ZAVPlatformTest_")
    list(APPEND hooks "${name}")
  elseif(name IN_LIST win32_names)
    list(APPEND foreign "${name}")
  elseif(name MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    if(NOT name MATCHES "^(ZAV|g_|gptr|hZAVHeap$)")
      list(APPEND foreign "${name}")
    endif()
  elseif(NOT name MATCHES "ZAV")
    list(APPEND internals "${name}")
  endif()
endforeach()
if(foreign OR hooks OR internals)
  set(report "${LIBRARY} exports names that are not its own")
  foreach(kind foreign hooks internals)
    if(${kind})
      set(title_foreign "Win32 or runtime names")
      set(title_hooks "test hooks")
      set(title_internals "internals")
      list(JOIN ${kind} "\n  " text)
      string(APPEND report "\n${title_${kind}}:\n  ${text}")
    endif()
  endforeach()
  message(FATAL_ERROR "${report}")
endif()

file(STRINGS ${EXPECTED} expected)
list(FILTER expected EXCLUDE REGEX "^(#.*)?$")
list(SORT expected)

set(missing ${expected})
list(REMOVE_ITEM missing ${actual})
set(unexpected ${actual})
list(REMOVE_ITEM unexpected ${expected})
if(missing OR unexpected)
  set(report "exported symbols differ from ${EXPECTED}")
  foreach(kind missing unexpected)
    if(${kind})
      list(JOIN ${kind} "\n  " text)
      string(APPEND report "\n${kind}:\n  ${text}")
    endif()
  endforeach()
  message(FATAL_ERROR "${report}")
endif()
list(LENGTH actual count)
message(STATUS "${count} exported symbols as listed")
