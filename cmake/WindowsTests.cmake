# Windows test programs, cross-built: GoogleTest from Debian's sources, and
# every test program run under Wine through tools/wine-test-launcher.
enable_language(C)  # GoogleTest's build needs it

set(ZAV_GOOGLETEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
if(NOT EXISTS ${ZAV_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources at ${ZAV_GOOGLETEST_SOURCE}: install the googletest package (tools/install-deps)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Static, whatever the library is: each test program carries it, and Wine
# finds no GoogleTest DLLs to load.
block()
  set(BUILD_SHARED_LIBS OFF)
  add_subdirectory(${ZAV_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endblock()
# (it defines GTest::gtest and GTest::gtest_main itself; like the test
# programs, it needs no more than -O1)
target_compile_options(gtest PRIVATE ${ZAV_TEST_OPTIMIZATION})
target_compile_options(gtest_main PRIVATE ${ZAV_TEST_OPTIMIZATION})

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZAV_WINE_BITS 64)
else()
  set(ZAV_WINE_BITS 32)
endif()
set(ZAV_WINE_LAUNCHER ${PROJECT_SOURCE_DIR}/tools/wine-test-launcher)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZAV_WINE_LAUNCHER} ${ZAV_WINE_BITS} ${CMAKE_BINARY_DIR}/wineprefix)

# Whether this machine runs Windows programs of this width at all; where it
# cannot, each test program stays one entry that reports itself skipped.
execute_process(COMMAND ${ZAV_WINE_LAUNCHER} ${ZAV_WINE_BITS} ${CMAKE_BINARY_DIR}/wineprefix --probe
  RESULT_VARIABLE ZAV_WINE_PROBE ERROR_VARIABLE ZAV_WINE_PROBE_TEXT OUTPUT_QUIET)
if(ZAV_WINE_PROBE EQUAL 0)
  set(ZAV_WINDOWS_TESTS_RUN ON)
else()
  set(ZAV_WINDOWS_TESTS_RUN OFF)
  string(STRIP "${ZAV_WINE_PROBE_TEXT}" ZAV_WINE_PROBE_TEXT)
  message(WARNING "${ZAV_WINE_PROBE_TEXT}")
endif()
