# Installation and the Debian package. Included at the end of the top-level CMakeLists, once
# every program's target exists.

# Windows: the zip koralux-VERSION-windows-x64.zip (both programs), its files at the top (cpack -G ZIP in
# build-windows). The manual page is made only for its test, which compares it with --help.
if(WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/doc/koralux-cli.1.in ${PROJECT_BINARY_DIR}/doc/koralux-cli.1
                 @ONLY)
  install(TARGETS koralux-cli RUNTIME DESTINATION .)
  if(TARGET koralux)
    install(TARGETS koralux RUNTIME DESTINATION .)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  # The installer's name for it too; Windows opens a .txt file.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME koralux)
  set(CPACK_PACKAGE_FILE_NAME koralux-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)

set(KORALUX_SOURCE_ROOT ${PROJECT_SOURCE_DIR})

# Debian wants manual pages and the changelog compressed at the highest level, and without the
# name and time stamp gzip would store, so that the same sources give the same package.
find_program(KORALUX_GZIP gzip REQUIRED)
function(koralux_gzip source target)
  execute_process(COMMAND ${KORALUX_GZIP} -9n --stdout ${source} OUTPUT_FILE ${target}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${source}")
  endif()
endfunction()

# The manual pages carry the version.
foreach(page koralux-cli koralux)
  configure_file(${KORALUX_SOURCE_ROOT}/doc/${page}.1.in ${PROJECT_BINARY_DIR}/doc/${page}.1 @ONLY)
  koralux_gzip(${PROJECT_BINARY_DIR}/doc/${page}.1 ${PROJECT_BINARY_DIR}/doc/${page}.1.gz)
endforeach()

# The licence in Debian's machine-readable form and the release history, where Debian keeps
# them for every package (a package built by CPack is Debian-native: changelog, not
# changelog.Debian).
set(koralux_debian ${KORALUX_SOURCE_ROOT}/packaging/debian)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${koralux_debian}/changelog)
koralux_gzip(${koralux_debian}/changelog ${PROJECT_BINARY_DIR}/doc/changelog.gz)
install(FILES ${koralux_debian}/copyright ${PROJECT_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(TARGETS koralux-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/doc/koralux-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The performance file type helps the command line as much as the desktop program.
install(FILES ${KORALUX_SOURCE_ROOT}/desktop/koralux-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME koralux.xml)

if(TARGET koralux)
  install(TARGETS koralux RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The desktop program's entry, icons, software-centre description and manual page go with
# the desktop program.
if(KORALUX_BUILD_UI)
  install(FILES ${PROJECT_BINARY_DIR}/doc/koralux.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${KORALUX_SOURCE_ROOT}/desktop/koralux.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KORALUX_SOURCE_ROOT}/desktop/org.koralux.koralux.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${KORALUX_SOURCE_ROOT}/ui/resources/icons/koralux-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME koralux.png)
  endforeach()
  install(FILES ${KORALUX_SOURCE_ROOT}/ui/resources/koralux.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# cpack -G DEB (or the "package" workflow preset) builds koralux_VERSION_ARCH.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME koralux)
set(CPACK_PACKAGE_VENDOR "KORALUX developers")
set(CPACK_PACKAGE_CONTACT "KORALUX developers <dev@koralux.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://koralux.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "converter of Electone performance files (.evt) to Standard MIDI Files")
set(CPACK_PACKAGE_DESCRIPTION
    "An Electone organ records performances as .evt files. KORALUX turns such a
file into a Standard MIDI File: a conductor track with the tempo estimated from
the organ's clock, and one track for each organ part that played (upper and
lower manual, pedal, percussion), with musical time rebuilt from the clock and
the song moved onto a bar line. The package holds the desktop program koralux
and the command-line converter koralux-cli, which also describes and lists
performance files.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# dpkg-shlibdeps finds the libraries the programs link (libc, libstdc++, Qt's core, GUI and
# widgets). Qt loads its platform plugins at run time, so no link names them: they are listed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET koralux)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
# koralux-cli --audio plays with a General MIDI sound font from one of these packages.
if(KORALUX_AUDIO)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
      "fluid-soundfont-gm | musescore-general-soundfont-small | timgm6mb-soundfont")
endif()
include(CPack)
