# Runs the demo host in a folder of its own and compares its trace files,
# masked, with the lines every platform must write (demo_trace.txt).
#   cmake -DDEMO=<program> -DWORK=<folder> -DEXPECTED=<file> [-DRUN=<launcher;args>]
#         [-DACTUAL=<file to write the masked lines to>] -P CompareDemoTrace.cmake
# Masked: times, dates, ids, durations, paths and names, addresses and bytes
# of dumps, memory figures and memory-change lines (each system measures its
# own), the rows of the heap table (each system's heap lays its blocks
# out its own way) and the widths of its header's columns (the pointer's);
# a run of equal masked lines counts as one.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
get_filename_component(program_dir "${DEMO}" DIRECTORY)
get_filename_component(program_name "${DEMO}" NAME)
get_filename_component(program_base "${DEMO}" NAME_WE)
file(COPY "${DEMO}" DESTINATION "${WORK}")
file(GLOB dlls "${program_dir}/*.dll")  # Windows: the library and its runtime beside the program
if(dlls)
  file(COPY ${dlls} DESTINATION "${WORK}")
endif()

execute_process(COMMAND ${RUN} "${WORK}/${program_name}" WORKING_DIRECTORY "${WORK}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the demo host failed (${result}):\n${output}")
endif()

function(masked_lines file out)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "no trace file ${file}; the demo said:\n${output}")
  endif()
  file(STRINGS "${file}" lines)
  set(result "")
  set(previous "")
  set(in_table FALSE)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "\r$" "" line "${line}")
    if(line MATCHES "^\\.\\.\\.Memory use changed\\.")
      continue()
    endif()
    string(REGEX REPLACE "^[0-9][0-9]:[0-9][0-9]:[0-9][0-9] +-?[0-9]+\\.[0-9][0-9][0-9] " "T E " line "${line}")
    string(REGEX REPLACE "^Date=[0-9/]+=+$" "Date=D" line "${line}")
    string(REGEX REPLACE "UserId=[^,]*, ProcessId=[0-9]+, ThreadId=[0-9]+, Log File=.*$"
      "UserId=U, ProcessId=#, ThreadId=#, Log File=F" line "${line}")
    string(REGEX REPLACE "Dur=[0-9]+\\.[0-9]+ msecs" "Dur=X msecs" line "${line}")
    string(REGEX REPLACE "user .* on .*$" "user U on C" line "${line}")
    string(REGEX REPLACE "Free = [0-9]+, Committed = [0-9]+, Reserved = [0-9]+" "Free = N, Committed = N, Reserved = N"
      line "${line}")
    # A dump line: an address of the pointer's width, then bytes.
    string(REGEX REPLACE "^(T E +)[0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F]+  .*$"
      "\\1<dump line>" line "${line}")
    if(line MATCHES "HeapWalk complete\\.$")
      set(in_table FALSE)
    elseif(in_table)
      set(line "${table_indent}<heap table row>")
    elseif(line MATCHES "^(T E +)Type +Start +Length +Overhead +Region$")
      set(in_table TRUE)
      set(table_indent "${CMAKE_MATCH_1}")
      # Its columns are as wide as the pointers of the build.
      set(line "${table_indent}Type Start Length Overhead Region")
    endif()
    if(NOT line STREQUAL previous)
      string(APPEND result "${line}\n")
    endif()
    set(previous "${line}")
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

masked_lines("${WORK}/${program_base}.log" trace)
masked_lines("${WORK}/${program_base}-wrap.log" wrap)
set(actual "== ${program_base}.log\n${trace}== ${program_base}-wrap.log\n${wrap}")
if(ACTUAL)
  file(WRITE "${ACTUAL}" "${actual}")
endif()
file(READ "${EXPECTED}" expected)
if(NOT actual STREQUAL expected)
  file(WRITE "${WORK}/masked.txt" "${actual}")
  execute_process(COMMAND diff -u "${EXPECTED}" "${WORK}/masked.txt" OUTPUT_VARIABLE difference)
  message(FATAL_ERROR "the demo's trace differs from ${EXPECTED}:\n${difference}")
endif()
message(STATUS "the demo's trace has the expected lines")
