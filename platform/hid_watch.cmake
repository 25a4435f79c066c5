# The Qt-dependent part of the platform layer: HID arrival and removal events for the window and
# the command line, keeping the computer awake while a device job runs, and the command line's Ctrl+C.
add_library(lumaro_platform_qt STATIC
  ${CMAKE_CURRENT_LIST_DIR}/hid_watch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hid_watch_vbus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/interrupt_watch.h  # its sources are per OS: named for moc
)
set_target_properties(lumaro_platform_qt PROPERTIES AUTOMOC ON)
target_include_directories(lumaro_platform_qt PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(lumaro_platform_qt PRIVATE lumaro_warnings lumaro_platform)

if(WIN32)
  find_package(Qt6 REQUIRED COMPONENTS Gui)
  target_sources(lumaro_platform_qt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/hid_watch_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keep_awake_win.cpp ${CMAKE_CURRENT_LIST_DIR}/interrupt_watch_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/event_application_win.cpp)
  target_link_libraries(lumaro_platform_qt PUBLIC Qt6::Gui)
else()
  pkg_check_modules(LIBUDEV REQUIRED IMPORTED_TARGET libudev)
  find_package(Qt6 REQUIRED COMPONENTS Core DBus)
  target_sources(lumaro_platform_qt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/hid_watch_udev.cpp
    ${CMAKE_CURRENT_LIST_DIR}/keep_awake_linux.cpp ${CMAKE_CURRENT_LIST_DIR}/interrupt_watch_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/event_application_posix.cpp)
  target_link_libraries(lumaro_platform_qt PUBLIC Qt6::Core PRIVATE PkgConfig::LIBUDEV Qt6::DBus)
endif()
