# Desktop integration of the program (launcher entry, themed icons, AppStream
# data) and its Debian package. Included by KorvalenInstall.cmake after the
# program's folder has been read.

if(NOT TARGET korvalen-converter)
  return()
endif()

# One id everywhere: the .desktop file's name, the AppStream component id and
# the program's desktop-file name, so docks and software centres match the
# running window to its entry.
set(KORVALEN_DESKTOP_ID com.example.korvalen.converter)
# Named after the program, as the entry's Icon= key says.
set(KORVALEN_ICON_NAME korvalen-converter)

install(TARGETS korvalen-converter
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${KORVALEN_DESKTOP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
  COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${KORVALEN_DESKTOP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
  COMPONENT program)
# The 32 x 32 artwork and the larger renderings of the same design.
foreach(size 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/korvalen-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${KORVALEN_ICON_NAME}.png
    COMPONENT program)
endforeach()
# Debian wants the terms with every package.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvalen-converter
  COMPONENT program)

# The package is for people who run the program. The engine is linked into
# it statically, so its libraries and headers are of no use at run time; they
# stay with `cmake --install` for developers.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};program;/")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvalen-converter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Korvalen Business Solutions")
set(CPACK_PACKAGE_CONTACT "Korvalen Business Solutions <packages@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "unit converter between the U.S. customary and metric systems")
set(CPACK_PACKAGE_DESCRIPTION
  "Korvalen Converter is a small desktop utility that tells how many of one\n"
  "unit of measure make one of another, for volumes and masses in the U.S.\n"
  "customary and metric systems. It shows the figure with two decimals in\n"
  "the user's locale and copies it to the clipboard on request.\n"
  ".\n"
  "The package also holds korvalen-convert, which converts any amount between\n"
  "the units of all six families (distance, area, volume, mass, temperature\n"
  "and time) on the command line, one conversion or a stream of them.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.example.com/)
# dpkg-shlibdeps finds the linked libraries (Qt, libjpeg, libc++).
# What Qt loads by itself is named here: the X11 platform plugin, and the
# fonts that stand in for the windows' Arial and MS Sans Serif so their
# fixed-size labels keep their text.
# korvalen-convert loads ICU only when a name goes beyond ASCII, so no scan of
# the linked libraries finds it; Debian names its package by ICU's major version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
find_package(ICU REQUIRED COMPONENTS uc)
string(REGEX MATCH "^[0-9]+" _korvalen_icu_major "${ICU_VERSION}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2, libicu${_korvalen_icu_major}")
# The welcome window's link opens through the desktop's opener.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland")
include(CPack)
