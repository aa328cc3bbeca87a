# Builds the host project in subproject/, which embeds ZAVUtil1 with
# add_subdirectory, in a scratch folder, and runs its host. Expects
# SOURCE_DIR (the project's root), GENERATOR and CXX.
if(DEFINED ENV{TMPDIR})
  set(scratch_root $ENV{TMPDIR})
else()
  set(scratch_root /tmp)
endif()
string(RANDOM LENGTH 8 tag)
set(work ${scratch_root}/zavutil1-subproject-${tag})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE_RECURSE ${work})
    message(FATAL_ERROR "${what} failed (${status})")
  endif()
endfunction()

run("the embedding project's configuration"
  ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/subproject -B ${work} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release -DZAVUTIL1_SOURCE_DIR=${SOURCE_DIR})
run("the embedding project's build" ${CMAKE_COMMAND} --build ${work})
run("the embedding project's host" ${work}/host)
file(REMOVE_RECURSE ${work})
