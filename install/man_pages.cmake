# The man pages of lumaro-update and zerlin-tool, rendered by help2man from what the programs print
# for --help, so that a page never tells another story than its program. On for the package
# (scripts/build-deb).
option(LUMARO_MAN_PAGES "Render and install the command-line programs' man pages (needs help2man)" OFF)
if(NOT LUMARO_MAN_PAGES)
  return()
endif()
find_program(LUMARO_HELP2MAN help2man REQUIRED)
set(pages "")
foreach(program lumaro-update zerlin-tool)
  set(page ${CMAKE_BINARY_DIR}/install/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DVERSION=${PROJECT_VERSION}
      -DHELP2MAN=${LUMARO_HELP2MAN} -DPAGE=${page} -P ${CMAKE_CURRENT_LIST_DIR}/render_man_page.cmake
    DEPENDS ${program} ${CMAKE_CURRENT_LIST_DIR}/render_man_page.cmake
    COMMENT "Rendering the man page of ${program} from its --help")
  list(APPEND pages ${page})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${pages})
install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
