# Install-time step of the Windows build: copies into bin/ every runtime DLL
# of the cross compiler (libstdc++, libgcc, winpthread) that ZAV_DLL imports,
# directly or through another such DLL. The copies lose their debugging
# sections (ZAV_STRIP), as the compiler's DLLs carry them. Expects ZAV_DLL,
# ZAV_OBJDUMP, ZAV_STRIP and ZAV_CXX.
cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/WindowsImports.cmake)

set(pending ${ZAV_DLL})
set(shipped "")
while(pending)
  list(POP_FRONT pending binary)
  zav_imported_dlls(${binary} imports)
  foreach(name IN LISTS imports)
    zav_compiler_runtime_dll(${name} found)
    if(found AND NOT name IN_LIST shipped)
      list(APPEND shipped ${name})
      list(APPEND pending ${found})
      file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/bin" TYPE FILE RENAME ${name} FILES ${found})
      execute_process(COMMAND ${ZAV_STRIP} --strip-debug "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/${name}")
    endif()
  endforeach()
endwhile()
