# Programs started together in a prefix not set up yet: one sets it up while
# the others wait for it, and all of them run. Then one started after the
# prefix's server ended, which starts Wine's services again: it ends when
# it does, whatever those services keep open. The prefix is made anew each
# time, and removed with its server after.
#   cmake -DLAUNCHER=<launcher;bits> -DPREFIX=<folder> -DPROGRAM=<test program> -P WineFirstRuns.cmake
cmake_minimum_required(VERSION 3.25)

function(remove_prefix)
  # Its server first: a folder made later may take the old one's inode, by
  # which Wine finds a prefix's server.
  execute_process(COMMAND ${LAUNCHER} ${PREFIX} --stop)
  file(REMOVE_RECURSE ${PREFIX} ${PREFIX}.lock ${PREFIX}.setup.log)
endfunction()

remove_prefix()
# The commands of one call run at the same time.
set(run ${LAUNCHER} ${PREFIX} ${PROGRAM} --gtest_list_tests)
execute_process(COMMAND ${run} COMMAND ${run} COMMAND ${run}
  RESULTS_VARIABLE together OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 120)
execute_process(COMMAND ${LAUNCHER} ${PREFIX} --stop)
execute_process(COMMAND ${run} RESULT_VARIABLE alone OUTPUT_VARIABLE alone_output ERROR_VARIABLE alone_output
  TIMEOUT 60)
remove_prefix()
if(NOT together STREQUAL "0;0;0")
  message(FATAL_ERROR "runs started together in a new prefix ended with ${together}:\n${output}")
endif()
if(NOT alone STREQUAL "0")
  message(FATAL_ERROR "a run after the prefix's server ended ended with ${alone}:\n${alone_output}")
endif()
