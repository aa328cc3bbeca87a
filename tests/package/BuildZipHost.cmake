# Packs the Windows ZIP, unpacks it into a scratch folder and checks that it
# is all a mingw host needs: the host compiles and links against the
# unpacked include/ and lib/ alone, every DLL in bin/ finds each of its
# non-system imports beside it, the DLL carries its version resource and no
# debugging sections, and the licence and README come along. With LAUNCHER
# (tools/wine-test-launcher), BITS and WINEPREFIX the host also runs, from a
# folder holding it and the ZIP's DLLs only.
# Expects BUILD_DIR, HOST_SOURCE, CXX, OBJDUMP, VERSION (a.b.c.d) and
# WIDTH (win32 or win64, the ZIP's name).
cmake_policy(VERSION 3.25)
set(ZAV_OBJDUMP ${OBJDUMP})
set(ZAV_CXX ${CXX})
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/WindowsImports.cmake)
set(work ${BUILD_DIR}/zip-host)
file(REMOVE_RECURSE ${work})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}")
  endif()
endfunction()

run("cpack" cpack --config ${BUILD_DIR}/CPackConfig.cmake -G ZIP -B ${work}/package)
file(GLOB zip ${work}/package/*.zip)
if(NOT zip MATCHES "-${WIDTH}\\.zip$")
  message(FATAL_ERROR "the ZIP is named ${zip}, not after its width ${WIDTH}")
endif()
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${work}/unpacked)
file(GLOB root ${work}/unpacked/*)
foreach(name IN ITEMS LICENSE README.txt)
  if(NOT EXISTS ${root}/${name})
    message(FATAL_ERROR "the ZIP lacks ${name}")
  endif()
endforeach()

run("the host's build against the ZIP"
  ${CXX} -std=c++17 "-DHOST_KIND=\"zip\"" -I${root}/include ${HOST_SOURCE}
    -L${root}/lib -lZAVUtil1 -o ${work}/host.exe)

# An import the compiler can find is one of its runtime DLLs, which must ship.
file(GLOB dlls RELATIVE ${root}/bin ${root}/bin/*.dll)
string(TOLOWER "${dlls}" shipped)  # Windows matches DLL names caselessly
foreach(dll IN LISTS dlls)
  zav_imported_dlls(${root}/bin/${dll} imports)
  foreach(name IN LISTS imports)
    zav_compiler_runtime_dll(${name} found)
    string(TOLOWER ${name} lower)
    if(found AND NOT lower IN_LIST shipped)
      message(FATAL_ERROR "${dll} imports ${name}, which the ZIP lacks")
    endif()
  endforeach()
endforeach()
if(NOT "zavutil1.dll" IN_LIST shipped)
  message(FATAL_ERROR "the ZIP lacks bin/ZAVUtil1.dll")
endif()

# The version resource: its FileVersion entry and this build's version as
# its value ("4, 1, 37, 1"), both in UTF-16.
function(utf16_hex text result)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${result} ${hex} PARENT_SCOPE)
endfunction()
file(READ ${root}/bin/ZAVUtil1.dll dll HEX)
string(REPLACE "." ", " version_text "${VERSION}")
foreach(text IN ITEMS "FileVersion" "${version_text}")
  utf16_hex("${text}" hex)
  string(FIND "${dll}" "${hex}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "ZAVUtil1.dll has no version resource with \"${text}\"")
  endif()
endforeach()
execute_process(COMMAND ${OBJDUMP} -h ${root}/bin/ZAVUtil1.dll OUTPUT_VARIABLE sections)
if(sections MATCHES "\\.debug_[a-z]+")
  message(FATAL_ERROR "ZAVUtil1.dll in the ZIP carries ${CMAKE_MATCH_0}")
endif()

if(LAUNCHER)
  file(MAKE_DIRECTORY ${work}/run)
  file(GLOB shipped_dlls ${root}/bin/*.dll)
  file(COPY ${work}/host.exe ${shipped_dlls} DESTINATION ${work}/run)
  execute_process(COMMAND ${LAUNCHER} ${BITS} ${WINEPREFIX} ${work}/run/host.exe
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(status EQUAL 77)
    message("${out}")  # no Wine of this width here: built, not run
  elseif(NOT status EQUAL 0 OR NOT out MATCHES "zip host: INSTALLED")
    message(FATAL_ERROR "the host built against the ZIP failed under Wine (${status}):\n${out}")
  endif()
endif()
file(REMOVE_RECURSE ${work})
