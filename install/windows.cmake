# Windows installation: one self-contained folder, as the release zip and the installer deliver it.
# The program, its command line, the library and the tool side by side with the Qt and compiler
# runtime DLLs they load, Qt's plugins in their subfolders next to them, the data files and folders, and an empty
# Record\ for the recorder's workbooks.
install(TARGETS LumaroCtrlUpdate lumaro-update zerlin-tool RUNTIME DESTINATION .)
install(TARGETS Zerlin RUNTIME DESTINATION . LIBRARY DESTINATION .
  ARCHIVE DESTINATION lib COMPONENT ZerlinDevelopment)
# For programs of their own that call the library: its header and import library, in the zip only
# (scripts/package-windows), since the installed program has no use for them.
install(FILES ${CMAKE_SOURCE_DIR}/bootloader/zerlin.h DESTINATION include COMPONENT ZerlinDevelopment)
install(FILES ${CMAKE_SOURCE_DIR}/data/DevInfo.DAT ${CMAKE_SOURCE_DIR}/data/Page.DAT DESTINATION .)
# Keys/: the trusted keys of the files' signatures; the test key pair of tests/ is never installed.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/Firmware ${CMAKE_SOURCE_DIR}/data/img ${CMAKE_SOURCE_DIR}/data/Keys DESTINATION .)
install(DIRECTORY DESTINATION Record)

find_package(Qt6 REQUIRED COMPONENTS Widgets)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
# Without it Qt falls back to a style that does not look like the rest of Windows.
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# From the cross toolchain's library folders: the compiler's runtime, which the program and Qt were
# built against, and zlib, which the workbook writer packs its files with.
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll zlib1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
    message(FATAL_ERROR "The cross compiler finds no ${runtime} in its library folders")
  endif()
  install(FILES ${runtime_path} DESTINATION .)
endforeach()
