# The flame graph of the sample must be an SVG that rsvg-convert renders.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${TOOL} flame sample.log sample1.log -o ${OUT}/flame.svg --quiet
  WORKING_DIRECTORY ${DATA} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "zavtrace flame failed: ${rc}")
endif()
execute_process(COMMAND ${RSVG} --format=png -o ${OUT}/flame.png ${OUT}/flame.svg
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "rsvg-convert failed (${rc}): ${err}")
endif()
file(READ ${OUT}/flame.png magic LIMIT 8 HEX)
file(SIZE ${OUT}/flame.png size)
if(NOT magic STREQUAL "89504e470d0a1a0a" OR size LESS 1000)
  message(FATAL_ERROR "rsvg-convert wrote no PNG image (${size} bytes)")
endif()
