# The controller's packet protocol: frame codec and requests, with no knowledge of how the link
# finds or opens the controller.
add_library(lumaro_protocol STATIC
  ${CMAKE_CURRENT_LIST_DIR}/controller_frame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/controller_requests.cpp
)
target_include_directories(lumaro_protocol PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(lumaro_protocol PUBLIC lumaro_platform PRIVATE lumaro_warnings)
