# Installation and the Debian package.
#
# `cmake --install BUILD --prefix P` lays out:
#   P/bin/kinetta, kinetta-cli, kinetta-cli-draw, mkcard      (their own targets)
#   P/share/kinetta/endpoints.ini                             (kinetta/app)
#   P/share/applications/org.kinetta.Kinetta.desktop
#   P/share/metainfo/org.kinetta.Kinetta.metainfo.xml
#   P/share/icons/hicolor/scalable/apps/org.kinetta.Kinetta.svg
#   P/share/doc/kinetta/copyright, changelog.gz, README.md, leaflet/LICENSE
#   P/share/man/man1/kinetta.1.gz, kinetta-cli.1.gz, kinetta-cli-draw.1.gz, mkcard.1.gz
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

# The package's maintainer: the Maintainer field, the changelog's signature and
# the copyright file's contact. Set it to whoever builds and answers for a
# package (-DKINETTA_MAINTAINER="Name <address>").
set(KINETTA_MAINTAINER "Kinetta Developers <developers@kinetta.org>" CACHE STRING
  "Maintainer of the Debian package, as \"Name <address>\"")
if(NOT KINETTA_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+\\.[^<>@ ]+>$")
  message(FATAL_ERROR "KINETTA_MAINTAINER must read \"Name <user@host.domain>\": ${KINETTA_MAINTAINER}")
endif()

# The copyright file (machine-readable) and the changelog of this native package,
# compressed as Debian wants it: gzip -9 without a name or time stamp (-n), so the
# same sources give the same file.
set(KINETTA_PACKAGE_DIR ${PROJECT_SOURCE_DIR}/resources/package)
configure_file(${KINETTA_PACKAGE_DIR}/copyright ${PROJECT_BINARY_DIR}/package/copyright @ONLY)
configure_file(${KINETTA_PACKAGE_DIR}/changelog ${PROJECT_BINARY_DIR}/package/changelog @ONLY)
find_program(KINETTA_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/package/changelog.gz
  COMMAND ${KINETTA_GZIP} -9nkf ${PROJECT_BINARY_DIR}/package/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/package/changelog
  COMMENT "Compressing the package changelog")
add_custom_target(kinetta_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/package/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/package/copyright ${PROJECT_BINARY_DIR}/package/changelog.gz
  ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages, made from each program's --help and --version with help2man
# (scripts/install-deps.sh installs it) once the program is built. kinetta
# answers both before Qt starts, so no display is needed here.
find_program(KINETTA_HELP2MAN help2man)
set(kinetta_manpage_names
  "kinetta=viewer for drive-recorder footage with its GPS track"
  "kinetta-cli=the drive-recorder viewer's core from a terminal"
  "kinetta-cli-draw=the drawing commands of kinetta-cli"
  "mkcard=write sample drive-recorder SD cards and recordings")
set(kinetta_manpages)
foreach(entry IN LISTS kinetta_manpage_names)
  string(FIND "${entry}" "=" eq)
  string(SUBSTRING "${entry}" 0 ${eq} program)
  math(EXPR eq "${eq} + 1")
  string(SUBSTRING "${entry}" ${eq} -1 whatis)
  # The sanitizer and fuzz builds are never installed: their instrumented
  # programs are not run at build time.
  if(NOT TARGET ${program} OR KINETTA_SANITIZE OR KINETTA_FUZZ)
    continue()
  endif()
  if(NOT KINETTA_HELP2MAN)
    message(WARNING "help2man is missing: no manual page for ${program} (run scripts/install-deps.sh)")
    continue()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${KINETTA_HELP2MAN} --no-info --section=1 --source=kinetta
      --name=${whatis} --output=${page} $<TARGET_FILE:${program}>
    COMMAND ${KINETTA_GZIP} -9nf ${page}
    DEPENDS ${program}
    COMMENT "Manual page of ${program}"
    VERBATIM)
  list(APPEND kinetta_manpages ${page}.gz)
endforeach()
# CPack strips the programs with a plain strip, which keeps the compilers'
# .comment notes and a .note section; remove those as Debian's dh_strip does.
find_program(KINETTA_OBJCOPY NAMES objcopy ${CMAKE_OBJCOPY})
if(KINETTA_OBJCOPY)
  foreach(program kinetta kinetta-cli kinetta-cli-draw mkcard)
    if(TARGET ${program})
      install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
          execute_process(COMMAND \"${KINETTA_OBJCOPY}\" --remove-section=.comment
            --remove-section=.note \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
            COMMAND_ERROR_IS_FATAL ANY)
        endif()")
    endif()
  endforeach()
endif()

if(kinetta_manpages)
  add_custom_target(kinetta_manpages ALL DEPENDS ${kinetta_manpages})
  install(FILES ${kinetta_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# Leaflet's own licence, from the copy built into the map page, and lintian's
# note on it (resources/package/lintian-overrides says why).
if(DEFINED KINETTA_LEAFLET_LICENSE)
  install(FILES ${KINETTA_LEAFLET_LICENSE} DESTINATION ${CMAKE_INSTALL_DOCDIR}/leaflet
    RENAME LICENSE)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/package/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kinetta)
endif()

# ---- the Debian package (./run.sh package) -------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kinetta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The kinetta developers")
set(CPACK_PACKAGE_CONTACT "${KINETTA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KINETTA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for drive-recorder footage with its GPS track")
# One line of the extended description per line here: CPack indents each by a
# space, and lintian wants at most 80 characters in a line with it.
set(CPACK_PACKAGE_DESCRIPTION "kinetta plays the front and rear recordings of a car drive recorder in
step, from the recorder's SD card, a folder or a single file, shows the
drive on a map and the acceleration graph with the recorder's event
marks, and saves, splits, joins and exports the recordings without
re-encoding them.")
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
