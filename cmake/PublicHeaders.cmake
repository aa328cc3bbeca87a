# The library's installed interface. Hosts write #include <ZAVUtil1/ZAVUtil1.h>;
# the build tree offers the same through include/ZAVUtil1/ in the build folder,
# whose entries link to the headers in their source folders (edits show at
# once, and every compiler sees one file per header). Headers not listed here
# are internal: only the library and its tests see their folders.

set(ZAV_PUBLIC_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)

function(zav_public_headers)
  foreach(header IN LISTS ARGN)
    get_filename_component(source ${header} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
    get_filename_component(name ${header} NAME)
    file(MAKE_DIRECTORY ${ZAV_PUBLIC_INCLUDE_DIR}/ZAVUtil1)
    file(CREATE_LINK ${source} ${ZAV_PUBLIC_INCLUDE_DIR}/ZAVUtil1/${name} SYMBOLIC COPY_ON_ERROR)
    set_property(GLOBAL APPEND PROPERTY ZAV_PUBLIC_HEADERS ${source})
  endforeach()
endfunction()
