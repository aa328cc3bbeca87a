# What a Windows binary imports, read from its import table, and which of
# those DLLs are the cross compiler's own runtime (the ones a package must
# ship; the compiler cannot find the system's, such as KERNEL32.dll).
# Expects ZAV_OBJDUMP and ZAV_CXX.

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

# The runtime DLL's path, or "" for a system DLL.
function(zav_compiler_runtime_dll name result)
  execute_process(COMMAND ${ZAV_CXX} -print-file-name=${name}
    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
    file(REAL_PATH ${found} found)
  else()
    set(found "")
  endif()
  set(${result} "${found}" PARENT_SCOPE)
endfunction()
