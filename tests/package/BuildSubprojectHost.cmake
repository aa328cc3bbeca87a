# Builds the host project in subproject/, which embeds ZAVUtil1 with
# add_subdirectory, in a scratch folder, and runs its host. Expects
# SOURCE_DIR (the project's root), GENERATOR and CXX.
include(${CMAKE_CURRENT_LIST_DIR}/ScratchWork.cmake)
zav_scratch_work(subproject)

run("the embedding project's configuration"
  ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/subproject -B ${work} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release -DZAVUTIL1_SOURCE_DIR=${SOURCE_DIR})
run("the embedding project's build" ${CMAKE_COMMAND} --build ${work})
run("the embedding project's host" ${work}/host)
if(EXISTS ${work}/zavutil1/libZAVUtil1-testing.so)
  file(REMOVE_RECURSE ${work})
  message(FATAL_ERROR "the embedded ZAVUtil1 built its test variant")
endif()
file(REMOVE_RECURSE ${work})
