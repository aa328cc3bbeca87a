# What a host's build consumes: the installed libraries and public headers,
# the CMake package ZAVUtil1::ZAVUtil1, zavutil1.pc, and the packages CPack
# makes of them (a .deb on Linux; on Windows a ZIP with the DLL, its import
# library, the headers and the compiler's runtime DLLs the DLL imports).
include(CMakePackageConfigHelpers)

set(ZAV_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
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
# One library, the stand-in inside it: a host needs nothing else.
set(ZAV_CONFIG_DEPENDENCIES "")
set(ZAV_PC_LIBS "-lZAVUtil1")
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

if(WIN32)
  # The runtime DLLs are whatever the DLL imports from the compiler's own
  # folders, read from its import table when installing.
  install(CODE "
    set(ZAV_DLL \"$<TARGET_FILE:ZAVUtil1>\")
    set(ZAV_OBJDUMP \"${CMAKE_OBJDUMP}\")
    set(ZAV_STRIP \"${CMAKE_STRIP}\")
    set(ZAV_CXX \"${CMAKE_CXX_COMPILER}\")
    include(\"${CMAKE_CURRENT_LIST_DIR}/InstallRuntimeDlls.cmake\")")
endif()

set(CPACK_PACKAGE_NAME zavutil1)
set(CPACK_PACKAGE_VERSION ${ZAV_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "ZAVUtil1 developers")
set(CPACK_PACKAGE_CONTACT "ZAVUtil1 developers <zavutil1@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${ZAV_DESCRIPTION})
set(CPACK_PACKAGE_DESCRIPTION
  "The ZAVUtil1 library with its headers, CMake package and pkg-config file.")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
  # Runtime dependencies from the libraries' own imports (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()
include(CPack)
