# Windows resources of LumaroCtrlUpdate.exe: the icon (drawn from LumaroCtrlUpdate.mvg by
# ImageMagick at build time), the version information from the project's version, the manifest
# and, when the build is given them, the external stop tool's two builds.
enable_language(RC)

# Windows version numbers have four parts; the project's version may give fewer.
set(LUMARO_VERSION_PARTS ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
list(TRANSFORM LUMARO_VERSION_PARTS REPLACE "^$" "0")
list(JOIN LUMARO_VERSION_PARTS "," LUMARO_VERSION_NUMBERS)
list(JOIN LUMARO_VERSION_PARTS "." LUMARO_VERSION_DOTTED)

set(LUMARO_RESOURCE_DIR ${CMAKE_CURRENT_BINARY_DIR}/resources)
set(LUMARO_ICON_FILE ${LUMARO_RESOURCE_DIR}/LumaroCtrlUpdate.ico)
set(LUMARO_MANIFEST_FILE ${LUMARO_RESOURCE_DIR}/LumaroCtrlUpdate.manifest)

find_program(LUMARO_IMAGEMAGICK NAMES convert magick)
if(NOT LUMARO_IMAGEMAGICK)
  message(FATAL_ERROR "ImageMagick's convert is needed to draw the program icon (Debian package imagemagick)")
endif()
add_custom_command(
  OUTPUT ${LUMARO_ICON_FILE}
  COMMAND ${LUMARO_IMAGEMAGICK} -background none mvg:${CMAKE_CURRENT_LIST_DIR}/LumaroCtrlUpdate.mvg
    -depth 8 -define icon:auto-resize=256,48,32,24,16 ${LUMARO_ICON_FILE}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/LumaroCtrlUpdate.mvg
  COMMENT "Drawing the program icon"
  VERBATIM)

configure_file(${CMAKE_CURRENT_LIST_DIR}/LumaroCtrlUpdate.manifest.in ${LUMARO_MANIFEST_FILE} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/LumaroCtrlUpdate.rc.in ${LUMARO_RESOURCE_DIR}/LumaroCtrlUpdate.rc @ONLY)
set(LUMARO_RESOURCE_FILES ${LUMARO_RESOURCE_DIR}/LumaroCtrlUpdate.rc)
set(LUMARO_RESOURCE_INPUTS ${LUMARO_ICON_FILE} ${LUMARO_MANIFEST_FILE})

# The stop tool comes in two builds or not at all: the program picks one by the Windows it runs on.
if(LUMARO_STOP_TOOL_32 OR LUMARO_STOP_TOOL_64)
  foreach(tool LUMARO_STOP_TOOL_32 LUMARO_STOP_TOOL_64)
    if(NOT ${tool})
      message(FATAL_ERROR "${tool} is empty: the stop tool needs both its 32-bit and its 64-bit build, or neither")
    endif()
    get_filename_component(${tool} "${${tool}}" ABSOLUTE)
    if(NOT EXISTS "${${tool}}" OR IS_DIRECTORY "${${tool}}")
      message(FATAL_ERROR "${tool}: no such file: ${${tool}}")
    endif()
    if("${${tool}}" MATCHES "[\"\\\\]")
      message(FATAL_ERROR "${tool}: the resource compiler cannot take a path with quotes or backslashes: ${${tool}}")
    endif()
    list(APPEND LUMARO_RESOURCE_INPUTS "${${tool}}")
  endforeach()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/stop_tool.rc.in ${LUMARO_RESOURCE_DIR}/stop_tool.rc @ONLY)
  list(APPEND LUMARO_RESOURCE_FILES ${LUMARO_RESOURCE_DIR}/stop_tool.rc)
  message(STATUS "LumaroCtrlUpdate.exe carries the stop tool: ${LUMARO_STOP_TOOL_32}, ${LUMARO_STOP_TOOL_64}")
endif()

# The resource compiler reports no dependencies of its own: rebuild when a file it embeds changes.
set_source_files_properties(${LUMARO_RESOURCE_FILES} PROPERTIES OBJECT_DEPENDS "${LUMARO_RESOURCE_INPUTS}")
target_sources(LumaroCtrlUpdate PRIVATE ${LUMARO_RESOURCE_FILES})
