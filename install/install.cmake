# What `cmake --install` puts where: the Linux layout, or the Windows release folder.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
endif()
