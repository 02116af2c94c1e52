# A Debian package of the install tree: cd build && cpack (or ./setup.sh package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelvano)
set(CPACK_PACKAGE_VENDOR Pelvano)
set(CPACK_PACKAGE_CONTACT "Pelvano developers <pelvano@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chapter lists from DVD title sets")
set(CPACK_PACKAGE_DESCRIPTION
    "Pelvano reads the navigation file of a DVD-Video title set (VTS_nn_0.IFO), lists its program
chains, shows the cells of one with their lengths, angles and program map, and renders the
chapter list through editable format presets: Matroska and OGM chapter files, DVD authoring
timecodes, x264 qpfiles, frame lists. It also writes a raw report of the title set, and runs
unattended from the command line without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The licence: GPL-3.0-or-later, stated in share/doc/pelvano/copyright.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://pelvano.example.org/)
# dpkg-shlibdeps works out Depends from the libraries the executable and modules link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
