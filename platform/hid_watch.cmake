# The Qt-dependent part of the platform layer: HID arrival and removal events for the window.
pkg_check_modules(LIBUDEV REQUIRED IMPORTED_TARGET libudev)
find_package(Qt6 REQUIRED COMPONENTS Core)

add_library(lumaro_platform_qt STATIC
  ${CMAKE_CURRENT_LIST_DIR}/hid_watch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hid_watch_vbus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hid_watch_udev.cpp
)
set_target_properties(lumaro_platform_qt PROPERTIES AUTOMOC ON)
target_include_directories(lumaro_platform_qt PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(lumaro_platform_qt PUBLIC Qt6::Core PRIVATE lumaro_warnings PkgConfig::LIBUDEV)
