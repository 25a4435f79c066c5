# Linux installation: the program, its command line and its data in one folder, a desktop entry that
# starts the program in that folder (the data files are read from the working directory), a udev rule
# that gives the logged-in user access to the controllers' hidraw nodes; the library and zerlin-tool
# where programs of one's own find them (zerlin.cmake), and the man pages (man_pages.cmake).
include(GNUInstallDirs)
set(LUMARO_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/lumaro-ctrl-update CACHE STRING "Folder of the installed program")
set(LUMARO_INSTALL_FULL_DIR ${CMAKE_INSTALL_PREFIX}/${LUMARO_INSTALL_DIR})
# udev reads no rules under /usr/local, so the rule goes where the administrator's rules live.
set(LUMARO_UDEV_RULES_DIR /etc/udev/rules.d CACHE STRING "Where the udev rule is installed")

install(TARGETS LumaroCtrlUpdate lumaro-update RUNTIME DESTINATION ${LUMARO_INSTALL_DIR})
# The command line is reached on the PATH through a link; the program follows it back to its own
# folder for DevInfo.DAT and Firmware/.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install)
file(CREATE_LINK ${LUMARO_INSTALL_FULL_DIR}/lumaro-update ${CMAKE_BINARY_DIR}/install/lumaro-update SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/install/lumaro-update DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/data/DevInfo.DAT ${CMAKE_SOURCE_DIR}/data/Page.DAT DESTINATION ${LUMARO_INSTALL_DIR})
# Keys/: the trusted keys of the files' signatures; the test key pair of tests/ is never installed.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/Firmware ${CMAKE_SOURCE_DIR}/data/img ${CMAKE_SOURCE_DIR}/data/Keys DESTINATION ${LUMARO_INSTALL_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/zerlin.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/man_pages.cmake)

configure_file(${CMAKE_CURRENT_LIST_DIR}/lumaro-ctrl-update.desktop.in
  ${CMAKE_BINARY_DIR}/install/lumaro-ctrl-update.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/lumaro-ctrl-update.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# One rule line per model of DevInfo.DAT, so that a model added there is reachable once installed.
file(STRINGS ${CMAKE_SOURCE_DIR}/data/DevInfo.DAT LUMARO_MODEL_LINES)
set(LUMARO_UDEV_MATCHES "")
foreach(line IN LISTS LUMARO_MODEL_LINES)
  if(line MATCHES "^............................(VID_|vid_)([0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f])&(PID_|pid_)([0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f])")
    string(TOLOWER "${CMAKE_MATCH_2}" vid)
    string(TOLOWER "${CMAKE_MATCH_4}" pid)
    string(APPEND LUMARO_UDEV_MATCHES
      "KERNEL==\"hidraw*\", ATTRS{idVendor}==\"${vid}\", ATTRS{idProduct}==\"${pid}\", TAG+=\"uaccess\"\n")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/70-lumaro-tessaray.rules.in ${CMAKE_BINARY_DIR}/install/70-lumaro-tessaray.rules @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/70-lumaro-tessaray.rules DESTINATION ${LUMARO_UDEV_RULES_DIR})

# The program folder belongs to the system, so the folders the program writes into beside itself
# are links to folders under /var/lib that every user may write into, with the given mode. The
# folder they are in is writable by its owner only (whatever the packager's umask), so that no user
# can remove or replace them.
function(lumaro_install_writable_folder name target mode)
  file(CREATE_LINK ${target} ${CMAKE_BINARY_DIR}/install/${name} SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/install/${name} DESTINATION ${LUMARO_INSTALL_DIR})
  get_filename_component(parent ${target} DIRECTORY)
  install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}${target}\")
    execute_process(COMMAND chmod 0755 \"\$ENV{DESTDIR}${parent}\" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND chmod ${mode} \"\$ENV{DESTDIR}${target}\" COMMAND_ERROR_IS_FATAL ANY)")
endfunction()

# Record/: every user may add workbooks and only their owner may remove them (the sticky bit, as
# for /tmp).
set(LUMARO_RECORD_DIR /var/lib/lumaro-ctrl-update/Record CACHE PATH "Where the installed program's Record/ points")
lumaro_install_writable_folder(Record ${LUMARO_RECORD_DIR} 1777)

# History/: the update history is the PC's, not one user's. Every user may write and replace what
# another made (no sticky bit), so that each user's jobs reach the one history and a job one user
# left is finished by the next; the folder itself stays root's, in root's folder. The program gives
# the files it makes there the same rights, whatever the user's umask.
set(LUMARO_HISTORY_DIR /var/lib/lumaro-ctrl-update/History CACHE PATH "Where the installed program's History/ points")
lumaro_install_writable_folder(History ${LUMARO_HISTORY_DIR} 0777)
