# Installation and the Debian package.
#
# `cmake --install BUILD --prefix P` lays out:
#   P/bin/kinetta, kinetta-cli, kinetta-cli-draw, mkcard      (their own targets)
#   P/share/kinetta/endpoints.ini                             (kinetta/app)
#   P/share/applications/org.kinetta.Kinetta.desktop
#   P/share/metainfo/org.kinetta.Kinetta.metainfo.xml
#   P/share/icons/hicolor/scalable/apps/org.kinetta.Kinetta.svg
#   P/share/doc/kinetta/copyright, README.md, leaflet/LICENSE
# The skin's pictures and the map page with Leaflet are compiled into the
# executables (Qt resources), so nothing is looked up in the build tree; the
# only file read from the installation is endpoints.ini, found relative to the
# executable (<bin>/../share/kinetta).
include(GNUInstallDirs)

set(KINETTA_APP_ID org.kinetta.Kinetta)
set(KINETTA_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/resources/desktop)

install(FILES ${KINETTA_DESKTOP_DIR}/${KINETTA_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${KINETTA_DESKTOP_DIR}/${KINETTA_APP_ID}.metainfo.xml
  ${PROJECT_BINARY_DIR}/${KINETTA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${KINETTA_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KINETTA_DESKTOP_DIR}/${KINETTA_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${KINETTA_DESKTOP_DIR}/copyright ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Leaflet's own licence, from the copy built into the map page.
if(DEFINED KINETTA_LEAFLET_LICENSE)
  install(FILES ${KINETTA_LEAFLET_LICENSE} DESTINATION ${CMAKE_INSTALL_DOCDIR}/leaflet
    RENAME LICENSE)
endif()

# ---- the Debian package (./run.sh package) -------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kinetta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The kinetta developers")
set(CPACK_PACKAGE_CONTACT "The kinetta developers <kinetta@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for drive-recorder footage with its GPS track")
set(CPACK_PACKAGE_DESCRIPTION "kinetta plays the front and rear recordings of a car drive \
recorder in step, shows the drive on a map and the acceleration graph, and saves, splits, joins \
and exports them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The shared libraries the executables link (Qt, FFmpeg, libcurl, GL, ...) become
# the dependencies through dpkg-shlibdeps; the plugins Qt loads at run time come
# with them (X11 platform and GL integration in libqt6gui6, the FFmpeg sound
# back end in libqt6multimedia6). Recommended: hardware GL drivers, the Japanese
# fonts of the interface texts, and Qt's Wayland platform.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, fonts-noto-cjk, qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)
