# The Linux package: a .deb of what `cmake --install` installs (the program folder with the data, the
# desktop entry, the udev rule, the Zerlin library with its header and pkg-config file, zerlin-tool,
# the man pages). scripts/build-deb configures with the prefix /usr and runs cpack.
include(GNUInstallDirs)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumaro-ctrl-update)
set(CPACK_PACKAGE_VENDOR Lumaro)
set(CPACK_PACKAGE_CONTACT "Lumaro <support@lumaro.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware update utility for the Lumaro Tessaray Controller")
set(CPACK_PACKAGE_DESCRIPTION "Updates the firmware of a Lumaro Tessaray Controller over USB with one button, \
and erases or resets its bootloader boards. Includes the Zerlin bootloader library with its header and \
pkg-config file, and zerlin-tool, its command-line front end.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_STRIP_FILES ON)

# The shared libraries come from dpkg-shlibdeps; what the program only starts or loads is named here:
# Qt's platform plugins, udisksctl (stops the update disk), the condensed face the window's captions
# are laid out for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's own library is found in the package, not in a copy an earlier install left.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS .${CMAKE_INSTALL_FULL_LIBDIR})
# Other packages that link the library may depend on it through its soname.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, udisks2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-extra")

# udev learns of the new rule at once, so a controller plugged in after installing is reachable; the
# loader's cache learns of the library.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/deb/postinst ${CMAKE_CURRENT_LIST_DIR}/deb/postrm
  ${CMAKE_CURRENT_LIST_DIR}/deb/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
