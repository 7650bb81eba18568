# Installing vorn and packaging it for Debian.
#
# The installed tree, under any prefix:
#   bin/vorn                   the launcher (a shell script)
#   bin/vorn-dem2map           the elevation model converter
#   lib/vorn/vorn              the viewer
#   lib/vorn/mapprobe          tells the launcher whether a file is a height map
#   share/vorn/{maps,textures,fonts}
#   share/man/man6/vorn.6.gz, share/man/man1/vorn-dem2map.1.gz
#   share/applications/vorn.desktop, share/icons/hicolor/{scalable,64x64}/apps/vorn.{svg,png}
# The launcher finds the rest relative to itself, so the tree can be moved.
include(GNUInstallDirs)

set(VORN_INSTALL_PKGLIBDIR "lib/vorn" CACHE STRING
    "Folder under the prefix for the viewer and its helper")
set(VORN_INSTALL_PKGDATADIR "${CMAKE_INSTALL_DATADIR}/vorn")
set(VORN_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

# The launcher, with the paths from its own folder to the others.
file(RELATIVE_PATH VORN_BIN_TO_LIB /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${VORN_INSTALL_PKGLIBDIR})
file(RELATIVE_PATH VORN_BIN_TO_SHARE /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${VORN_INSTALL_PKGDATADIR})
configure_file(${CMAKE_SOURCE_DIR}/packaging/vorn.in ${VORN_PACKAGING_OUT}/vorn @ONLY)

# Manual pages, compressed as Debian has them.
set(VORN_MAN_PAGES)
foreach(page vorn.6 vorn-dem2map.1)
  configure_file(${CMAKE_SOURCE_DIR}/doc/${page}.in ${VORN_PACKAGING_OUT}/${page} @ONLY)
  add_custom_command(OUTPUT ${VORN_PACKAGING_OUT}/${page}.gz
    COMMAND gzip -9 -n -c ${VORN_PACKAGING_OUT}/${page} > ${VORN_PACKAGING_OUT}/${page}.gz
    DEPENDS ${VORN_PACKAGING_OUT}/${page}
    COMMENT "Compressing the manual page ${page}")
  list(APPEND VORN_MAN_PAGES ${VORN_PACKAGING_OUT}/${page}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${VORN_MAN_PAGES})

# The Debian changelog of the package, with the project's version, dated
# when it is configured (or at SOURCE_DATE_EPOCH).
string(TIMESTAMP VORN_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${VORN_PACKAGING_OUT}/changelog @ONLY)
add_custom_command(OUTPUT ${VORN_PACKAGING_OUT}/changelog.gz
  COMMAND gzip -9 -n -c ${VORN_PACKAGING_OUT}/changelog > ${VORN_PACKAGING_OUT}/changelog.gz
  DEPENDS ${VORN_PACKAGING_OUT}/changelog)
add_custom_target(package_changelog ALL DEPENDS ${VORN_PACKAGING_OUT}/changelog.gz)

# ---- install rules ----
install(TARGETS vorn mapprobe RUNTIME DESTINATION ${VORN_INSTALL_PKGLIBDIR})
install(PROGRAMS ${VORN_PACKAGING_OUT}/vorn DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET dem2map)
  # Installed under a name of its own: "dem2map" is too general for bin/.
  install(TARGETS dem2map RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(CODE "file(RENAME \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/dem2map\"
                      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vorn-dem2map\")")
endif()

# The viewer's data: exactly the files the tools make for maps/, textures/
# and fonts/.
foreach(file ${VORN_DATA_FILES})
  file(RELATIVE_PATH rel ${CMAKE_BINARY_DIR} ${file})
  get_filename_component(dir ${rel} DIRECTORY)
  if(dir STREQUAL "maps" OR dir STREQUAL "textures" OR dir STREQUAL "fonts")
    install(FILES ${file} DESTINATION ${VORN_INSTALL_PKGDATADIR}/${dir})
  endif()
endforeach()

install(FILES ${VORN_PACKAGING_OUT}/vorn.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${VORN_PACKAGING_OUT}/vorn-dem2map.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/vorn.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/icons/vorn.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/icons/vorn.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
install(FILES ${VORN_PACKAGING_OUT}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# ---- the Debian package: make deb ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tesk <tesk@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive terrain viewer for height maps and elevation data")
set(CPACK_PACKAGE_DESCRIPTION
    "vorn turns one height map into a lit, textured, fogged landscape inside a
sky box and lets you look around with the mouse and fly freely with the
keyboard. It shows the frame rate and a help panel and saves numbered
screenshots.
.
The vorn command shows any 8-bit square image as it is, and converts other
elevation data (GeoTIFF, ASCII grids and whatever else GDAL reads) into a
height map at true scale first.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Source packages are made by git, not by CPack.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
