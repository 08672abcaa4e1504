# `cpack -G DEB` in a build folder makes tarnwick_VERSION_ARCH.deb of what `cmake --install` installs: the
# window, the headless search, the desktop entry and the icon. Its dependencies are read off the programs
# by dpkg-shlibdeps (Debian's dpkg-dev), so they follow the libraries the build really linked.
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Collects lists of proxy servers from a proxy-list site")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "One button loads the seven list pages of a proxy-list site and shows their rows (address, port, type, "
    "country) in a sortable table; tarnwick-search runs the same search for scripts.")
set(CPACK_PACKAGE_CONTACT "Tarnwick developers <tarnwick@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
