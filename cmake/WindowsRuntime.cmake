# After each link of ZAVUtil1.dll, copies the compiler's runtime DLLs it
# imports (directly or through each other) beside it, and lists them in
# runtime-dlls.txt for packaging.
get_filename_component(zav_compiler_name ${CMAKE_CXX_COMPILER} NAME)
string(REGEX REPLACE "-g\\+\\+.*$" "-objdump" zav_objdump_name "${zav_compiler_name}")
find_program(ZAV_OBJDUMP NAMES ${zav_objdump_name} REQUIRED)
add_custom_command(TARGET ZAVUtil1 POST_BUILD
  COMMAND ${CMAKE_COMMAND}
    -DDLL=$<TARGET_FILE:ZAVUtil1>
    -DOBJDUMP=${ZAV_OBJDUMP}
    -DCOMPILER=${CMAKE_CXX_COMPILER}
    -DLIST=${CMAKE_BINARY_DIR}/runtime-dlls.txt
    -P ${CMAKE_CURRENT_LIST_DIR}/CopyRuntimeDlls.cmake
  VERBATIM)
