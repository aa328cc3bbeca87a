# ZAVUtil1Version.h: the version of project(), for hosts that test it at
# compile time. Generated into the public include folder and installed with
# the other headers.
set(ZAV_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(zav_version_header ${ZAV_PUBLIC_INCLUDE_DIR}/ZAVUtil1/ZAVUtil1Version.h)
configure_file(${CMAKE_CURRENT_LIST_DIR}/ZAVUtil1Version.h.in ${zav_version_header} @ONLY)
set_property(GLOBAL APPEND PROPERTY ZAV_PUBLIC_HEADERS ${zav_version_header})
