# The coverage preset's report: after its tests ran, line and branch coverage
# of the library's folders, each and together (gcovr over the build's .gcda).
find_program(GCOVR gcovr)
if(NOT GCOVR)
  message(WARNING "gcovr not found: no coverage_report target (tools/install-deps installs it)")
  return()
endif()
# Counts from earlier runs (and from since-deleted tests) would add to this
# run's: the workflow clears them before the tests.
add_custom_target(coverage_reset
  COMMAND find ${CMAKE_BINARY_DIR} -name "*.gcda" -delete
  VERBATIM)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(zav_coverage_json ${CMAKE_BINARY_DIR}/coverage.json)
add_custom_target(coverage_report
  COMMAND ${GCOVR} --root ${PROJECT_SOURCE_DIR} --object-directory ${CMAKE_BINARY_DIR}
    --filter ${PROJECT_SOURCE_DIR}/foundation/ --filter ${PROJECT_SOURCE_DIR}/string/
    --filter ${PROJECT_SOURCE_DIR}/util/ --filter ${PROJECT_SOURCE_DIR}/msg/
    --filter ${PROJECT_SOURCE_DIR}/debug/ --filter ${PROJECT_SOURCE_DIR}/platform/
    --exclude-throw-branches --exclude-unreachable-branches
    --json-summary ${zav_coverage_json}
    # Only this build's counts: the source tree may hold other builds, and a
    # Wine prefix's drive link to the whole file system.
    ${CMAKE_BINARY_DIR}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/coverage-summary ${zav_coverage_json}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  VERBATIM)
