# What a host's build consumes: the installed libraries and public headers,
# the CMake package ZAVUtil1::ZAVUtil1 and zavutil1.pc. On Windows CPack packs
# them into a ZIP per width (win32, win64) with the DLL, its import library,
# the headers and the compiler's runtime DLLs the DLL imports; on Linux the
# Debian packages come from debian/ (dpkg-buildpackage) over this install.
include(CMakePackageConfigHelpers)

set(ZAV_DESCRIPTION
  "UTF-16 strings, memory manager, locked lists, event log and diagnostic trace")
set(ZAV_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZAVUtil1)

install(TARGETS ZAVUtil1 EXPORT ZAVUtil1Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
get_property(zav_public_headers GLOBAL PROPERTY ZAV_PUBLIC_HEADERS)
install(FILES ${zav_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ZAVUtil1)

install(EXPORT ZAVUtil1Targets NAMESPACE ZAVUtil1:: DESTINATION ${ZAV_CMAKE_PACKAGE_DIR})
# One library, the stand-in inside it: a host needs nothing else (a static
# one brings the threads library along).
set(ZAV_PC_LIBS " -lZAVUtil1")
set(ZAV_PC_CFLAGS "")
set(ZAV_CONFIG_DEPENDENCIES "")
set(ZAV_PC_LIBS_PRIVATE "")
if(NOT BUILD_SHARED_LIBS)
  set(ZAV_PC_CFLAGS " -DZAVUTIL1_STATIC")
  if(NOT WIN32)
    set(ZAV_CONFIG_DEPENDENCIES "find_dependency(Threads)")
    set(ZAV_PC_LIBS_PRIVATE "-pthread")
  endif()
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZAVUtil1Config.cmake.in
  ${PROJECT_BINARY_DIR}/ZAVUtil1Config.cmake INSTALL_DESTINATION ${ZAV_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZAVUtil1ConfigVersion.cmake
  VERSION ${ZAV_PACKAGE_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZAVUtil1Config.cmake ${PROJECT_BINARY_DIR}/ZAVUtil1ConfigVersion.cmake
  DESTINATION ${ZAV_CMAKE_PACKAGE_DIR})

# Relocatable: the prefix is found from the .pc file's own place, so the same
# file serves /usr, a private prefix and an unpacked ZIP.
file(RELATIVE_PATH ZAV_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ZAV_PC_TO_PREFIX "${ZAV_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/zavutil1.pc.in ${PROJECT_BINARY_DIR}/zavutil1.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zavutil1.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(NOT WIN32)
  return()
endif()

# The runtime DLLs are whatever the DLL imports from the compiler's own
# folders, read from its import table when installing.
install(CODE "
  set(ZAV_DLL \"$<TARGET_FILE:ZAVUtil1>\")
  set(ZAV_OBJDUMP \"${CMAKE_OBJDUMP}\")
  set(ZAV_STRIP \"${CMAKE_STRIP}\")
  set(ZAV_CXX \"${CMAKE_CXX_COMPILER}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/InstallRuntimeDlls.cmake\")")
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/README-windows.txt DESTINATION . RENAME README.txt)

set(CPACK_PACKAGE_NAME zavutil1)
set(CPACK_PACKAGE_VERSION ${ZAV_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "the ZAVUtil1 authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${ZAV_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR ZIP)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
# The DLL without its debugging sections, as the runtime DLLs beside it.
set(CPACK_STRIP_FILES ON)
include(CPack)
