# The program's version (the project's) and its build: the commit the sources were taken from when
# they are a git checkout, else the day of the configure; the compiler; the build type.
find_package(Git QUIET)
set(LUMARO_BUILD_ORIGIN "")
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 "--format=%h %cs"
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE LUMARO_GIT_COMMIT RESULT_VARIABLE LUMARO_GIT_RESULT
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(LUMARO_GIT_RESULT EQUAL 0 AND LUMARO_GIT_COMMIT MATCHES "^([0-9a-f]+) (.+)$")
    set(LUMARO_BUILD_ORIGIN "commit ${CMAKE_MATCH_1} of ${CMAKE_MATCH_2}")
  endif()
endif()
if(LUMARO_BUILD_ORIGIN STREQUAL "")
  string(TIMESTAMP LUMARO_CONFIGURE_DAY "%Y-%m-%d")
  set(LUMARO_BUILD_ORIGIN "configured ${LUMARO_CONFIGURE_DAY}")
endif()
set(LUMARO_BUILD_TEXT "${LUMARO_BUILD_ORIGIN}, ${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION}")
if(CMAKE_BUILD_TYPE)
  string(APPEND LUMARO_BUILD_TEXT ", ${CMAKE_BUILD_TYPE}")
endif()
set(LUMARO_VERSION_HEADER_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/program_version.h.in ${LUMARO_VERSION_HEADER_DIR}/program_version.h @ONLY)
