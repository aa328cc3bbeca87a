# Builds and runs the host in host/ twice against an installed ZAVUtil1, from
# a scratch folder outside the source tree: once through find_package, once
# through pkg-config. With BUILD_DIR it first installs that build into a
# scratch prefix; otherwise it uses the installation at PREFIX (/usr after
# the .deb). Also expects HOST_DIR, CXX, GENERATOR and LIBDIR.
# Both hosts link with --as-needed, as some distributions' compilers do by
# default, and start with no LD_LIBRARY_PATH: the installed files alone must
# lead the loader to every library. Against a static library (only
# libZAVUtil1.a installed) the hosts must not need any library of ours.
include(${CMAKE_CURRENT_LIST_DIR}/ScratchWork.cmake)
zav_scratch_work(hosts)
file(MAKE_DIRECTORY ${work})

unset(ENV{LD_LIBRARY_PATH})
set(pc_options "")
set(pc_link "")
if(BUILD_DIR)
  set(PREFIX ${work}/prefix)
  run("installing" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
  # A host of a private prefix records where its libraries are.
  set(pc_link -Wl,-rpath,${PREFIX}/${LIBDIR})
  if(NOT EXISTS ${PREFIX}/${LIBDIR}/libZAVUtil1.so)
    set(pc_options --static)
  endif()
endif()
file(COPY ${HOST_DIR}/ DESTINATION ${work}/src)

# Fails when HOST needs a library of ours although only the static one is installed.
function(check_self_contained host)
  if(NOT pc_options STREQUAL "--static")
    return()
  endif()
  execute_process(COMMAND objdump -p ${host} OUTPUT_VARIABLE headers)
  if(headers MATCHES "NEEDED +libZAVUtil1")
    file(REMOVE_RECURSE ${work})
    message(FATAL_ERROR "${host} needs a shared library of ours: ${CMAKE_MATCH_0}")
  endif()
endfunction()

run("the find_package host's build"
  ${CMAKE_COMMAND} -S ${work}/src -B ${work}/cmake-host -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${PREFIX}
    -DCMAKE_EXE_LINKER_FLAGS=-Wl,--as-needed)
run("the find_package host's build" ${CMAKE_COMMAND} --build ${work}/cmake-host)
run("the find_package host" ${work}/cmake-host/host)
check_self_contained(${work}/cmake-host/host)

execute_process(COMMAND pkg-config ${pc_options} --cflags --libs zavutil1
  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE_RECURSE ${work})
  message(FATAL_ERROR "pkg-config does not know zavutil1")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run("the pkg-config host's build"
  ${CXX} -std=c++17 "-DHOST_KIND=\"pkg-config\"" -Wl,--as-needed ${work}/src/Host.cpp ${flags} ${pc_link}
    -o ${work}/pc-host)
run("the pkg-config host" ${work}/pc-host)
check_self_contained(${work}/pc-host)

# A host that calls into libZAVUtil1 alone names only it: whatever that
# library needs in turn, it must find from where it is installed.
file(WRITE ${work}/src/LibraryOnly.cpp
  "#include <ZAVUtil1/ZAVUtil1.h>\nint main() { return fnZAVUtil1() == 42 ? 0 : 1; }\n")
run("the library-only host's build"
  ${CXX} -std=c++17 -Wl,--as-needed ${work}/src/LibraryOnly.cpp ${flags} ${pc_link} -o ${work}/library-only-host)
run("the library-only host" ${work}/library-only-host)

file(REMOVE_RECURSE ${work})
