# The Zerlin library for programs of one's own, and zerlin-tool: the library in the system's library
# folder under its soname (with the development link libZerlin.so), its header, its pkg-config file
# zerlin.pc, and the tool on the PATH.
install(TARGETS Zerlin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS zerlin-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/bootloader/zerlin.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
get_target_property(ZERLIN_VERSION Zerlin VERSION)
configure_file(${CMAKE_CURRENT_LIST_DIR}/zerlin.pc.in ${CMAKE_BINARY_DIR}/install/zerlin.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/zerlin.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The programs that load the library find it where the system's loader looks anyway (the package's
# /usr/lib/<arch>); installed under another prefix, their run path leads there from their own folder.
function(lumaro_find_zerlin_from folder)
  if(CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
    set(run_path "")
  else()
    file(RELATIVE_PATH to_library ${folder} ${CMAKE_INSTALL_FULL_LIBDIR})
    set(run_path "$ORIGIN/${to_library}")
  endif()
  set_target_properties(${ARGN} PROPERTIES INSTALL_RPATH "${run_path}")
endfunction()
lumaro_find_zerlin_from(${LUMARO_INSTALL_FULL_DIR} LumaroCtrlUpdate lumaro-update)
lumaro_find_zerlin_from(${CMAKE_INSTALL_FULL_BINDIR} zerlin-tool)
# The library itself needs only the system's libraries.
set_target_properties(Zerlin PROPERTIES INSTALL_RPATH "")
