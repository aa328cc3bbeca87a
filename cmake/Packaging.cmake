# What a host's build consumes: the installed libraries and public headers,
# the CMake package ZAVUtil1::ZAVUtil1 and zavutil1.pc. On Windows CPack packs
# them into a ZIP per width (win32, win64) with the DLL, its import library,
# the headers and the compiler's runtime DLLs the DLL imports; on Linux the
# Debian packages come from debian/ (dpkg-buildpackage) over this install.
include(CMakePackageConfigHelpers)

set(ZAV_DESCRIPTION
  "UTF-16 strings, memory manager, locked lists, event log and diagnostic trace")
set(ZAV_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZAVUtil1)

# The libraries a host loads at run time: ZAVUtil1 and any shared library of
# this tree it links. Everything below (install rules, run path, pkg-config
# flags) follows this list.
set(zav_runtime_libraries ZAVUtil1)
foreach(sibling IN ITEMS zavplatform)
  if(TARGET ${sibling})
    get_target_property(type ${sibling} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
      list(APPEND zav_runtime_libraries ${sibling})
    endif()
  endif()
endforeach()

install(TARGETS ${zav_runtime_libraries} EXPORT ZAVUtil1Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
get_property(zav_public_headers GLOBAL PROPERTY ZAV_PUBLIC_HEADERS)
install(FILES ${zav_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ZAVUtil1)

# The installed library finds its siblings beside itself, wherever the
# prefix is (a host linked with --as-needed names only libZAVUtil1).
list(LENGTH zav_runtime_libraries zav_runtime_count)
if(NOT WIN32 AND zav_runtime_count GREATER 1)
  set_target_properties(ZAVUtil1 PROPERTIES INSTALL_RPATH "\$ORIGIN")
endif()

install(EXPORT ZAVUtil1Targets NAMESPACE ZAVUtil1:: DESTINATION ${ZAV_CMAKE_PACKAGE_DIR})
set(ZAV_PC_LIBS "")
foreach(library IN LISTS zav_runtime_libraries)
  string(APPEND ZAV_PC_LIBS " -l${library}")
endforeach()
set(ZAV_PC_CFLAGS "")
if(NOT BUILD_SHARED_LIBS)
  set(ZAV_PC_CFLAGS " -DZAVUTIL1_STATIC")
endif()
if(WIN32)
  set(ZAV_CONFIG_DEPENDENCIES "")
  set(ZAV_PC_LIBS_PRIVATE "")
else()
  set(ZAV_CONFIG_DEPENDENCIES "find_dependency(Threads)")
  set(ZAV_PC_LIBS_PRIVATE "-pthread")
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
