# `docs`: the API reference of the library's interface headers (Doxygen).
# An exported name without its contract fails the target, so the reference
# stays complete. ZAVWin32Types.h declares the Win32 types, documented by
# Windows; ZAVCompiler.h holds the build's compiler seams, not interface.
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  return()
endif()

get_property(zav_documented_headers GLOBAL PROPERTY ZAV_PUBLIC_HEADERS)
list(FILTER zav_documented_headers EXCLUDE REGEX "/(ZAVWin32Types|ZAVCompiler)\\.h$")

set(DOXYGEN_PROJECT_NAME ZAVUtil1)
set(DOXYGEN_PROJECT_NUMBER ${ZAV_PACKAGE_VERSION})
set(DOXYGEN_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/docs)
set(DOXYGEN_GENERATE_LATEX NO)
set(DOXYGEN_JAVADOC_AUTOBRIEF YES)
set(DOXYGEN_DISTRIBUTE_GROUP_DOC YES)
set(DOXYGEN_EXTRACT_ALL NO)
set(DOXYGEN_WARN_IF_UNDOCUMENTED YES)
set(DOXYGEN_WARN_AS_ERROR FAIL_ON_WARNINGS)
set(DOXYGEN_QUIET YES)
set(DOXYGEN_HAVE_DOT NO)
set(DOXYGEN_ENABLE_PREPROCESSING YES)
set(DOXYGEN_MACRO_EXPANSION YES)
set(DOXYGEN_EXPAND_ONLY_PREDEF YES)
# The export macro is the build's business, not part of any signature.
set(DOXYGEN_PREDEFINED ZAVUTIL1_API= ZAV_SHARED_INLINE= ZAV_WINAPI= ZAV_VISIBLE=)
set(DOXYGEN_USE_MDFILE_AS_MAINPAGE ${PROJECT_SOURCE_DIR}/docs/mainpage.md)
set(DOXYGEN_EXAMPLE_PATH ${PROJECT_SOURCE_DIR}/examples)
# Plain pages: no search script and no time stamps, so two builds match.
set(DOXYGEN_SEARCHENGINE NO)
set(DOXYGEN_HTML_TIMESTAMP NO)
doxygen_add_docs(docs ${PROJECT_SOURCE_DIR}/docs/mainpage.md ${zav_documented_headers}
  COMMENT "API reference in ${PROJECT_BINARY_DIR}/docs/html")
if(ZAV_PACKAGING)
  # Built by the docs target; packaging builds it before installing.
  install(DIRECTORY ${PROJECT_BINARY_DIR}/docs/html DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)
endif()
