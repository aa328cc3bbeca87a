# Install-time step of the Windows build: copies into bin/ every DLL that
# ZAV_DLL imports, directly or through another such DLL, from the cross
# compiler's own folders (libstdc++, libgcc, winpthread). Imports the
# compiler cannot find are the system's (KERNEL32.dll and the like).
# The copies lose their debugging sections (ZAV_STRIP), as the compiler's
# DLLs carry them. Expects ZAV_DLL, ZAV_OBJDUMP, ZAV_STRIP and ZAV_CXX.
cmake_policy(VERSION 3.25)
function(zav_imported_dlls binary result)
  execute_process(COMMAND ${ZAV_OBJDUMP} -p ${binary}
    OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ZAV_OBJDUMP} -p ${binary} failed")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${listing}")
  list(TRANSFORM entries REPLACE "^DLL Name: " "")
  set(${result} ${entries} PARENT_SCOPE)
endfunction()

set(pending ${ZAV_DLL})
set(shipped "")
while(pending)
  list(POP_FRONT pending binary)
  zav_imported_dlls(${binary} imports)
  foreach(name IN LISTS imports)
    execute_process(COMMAND ${ZAV_CXX} -print-file-name=${name}
      OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${found}" AND EXISTS "${found}" AND NOT name IN_LIST shipped)
      file(REAL_PATH ${found} found)
      list(APPEND shipped ${name})
      list(APPEND pending ${found})
      file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/bin" TYPE FILE RENAME ${name} FILES ${found})
      execute_process(COMMAND ${ZAV_STRIP} --strip-debug "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/${name}")
    endif()
  endforeach()
endwhile()
