# Builds and runs the host in host/ twice against an installed ZAVUtil1, from
# a scratch folder outside the source tree: once through find_package, once
# through pkg-config. With BUILD_DIR it first installs that build into a
# scratch prefix; otherwise it uses the installation at PREFIX (/usr after
# the .deb). Also expects HOST_DIR, CXX, GENERATOR and LIBDIR.
if(DEFINED ENV{TMPDIR})
  set(scratch_root $ENV{TMPDIR})
else()
  set(scratch_root /tmp)
endif()
string(RANDOM LENGTH 8 tag)
set(work ${scratch_root}/zavutil1-hosts-${tag})
file(MAKE_DIRECTORY ${work})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE_RECURSE ${work})
    message(FATAL_ERROR "${what} failed (${status})")
  endif()
endfunction()

if(BUILD_DIR)
  set(PREFIX ${work}/prefix)
  run("installing" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
  # No RUNPATH in an installed library: the loader is told where the prefix is.
  set(ENV{LD_LIBRARY_PATH} ${PREFIX}/${LIBDIR})
endif()
file(COPY ${HOST_DIR}/ DESTINATION ${work}/src)

run("the find_package host's build"
  ${CMAKE_COMMAND} -S ${work}/src -B ${work}/cmake-host -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${PREFIX})
run("the find_package host's build" ${CMAKE_COMMAND} --build ${work}/cmake-host)
run("the find_package host" ${work}/cmake-host/host)

execute_process(COMMAND pkg-config --cflags --libs zavutil1
  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE_RECURSE ${work})
  message(FATAL_ERROR "pkg-config does not know zavutil1")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run("the pkg-config host's build"
  ${CXX} -std=c++17 "-DHOST_KIND=\"pkg-config\"" ${work}/src/Host.cpp ${flags} -o ${work}/pc-host)
run("the pkg-config host" ${work}/pc-host)

file(REMOVE_RECURSE ${work})
