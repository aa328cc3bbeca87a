# Compares the dynamic symbols a shared library defines with a checked-in,
# demangled list (one per line, sorted). Run with -DLIBRARY= -DEXPECTED=.
execute_process(COMMAND nm -D --defined-only -C ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(actual "")
foreach(line IN LISTS lines)
  # "address type name"; absolute linker symbols (type A) are not ours.
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) (.+)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
    list(APPEND actual "${CMAKE_MATCH_2}")
  endif()
endforeach()
list(SORT actual)
list(REMOVE_DUPLICATES actual)

file(STRINGS ${EXPECTED} expected)
list(FILTER expected EXCLUDE REGEX "^(#.*)?$")
list(SORT expected)

set(missing ${expected})
list(REMOVE_ITEM missing ${actual})
set(unexpected ${actual})
list(REMOVE_ITEM unexpected ${expected})
if(missing OR unexpected)
  list(JOIN missing "\n  " missingText)
  list(JOIN unexpected "\n  " unexpectedText)
  message(FATAL_ERROR "exported symbols differ from ${EXPECTED}\nmissing:\n  ${missingText}\nunexpected:\n  ${unexpectedText}")
endif()
list(LENGTH actual count)
message(STATUS "${count} exported symbols as listed")
