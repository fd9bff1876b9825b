# Desktop integration for both window programs, korvo-web's service unit, and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

install(FILES
        ${PROJECT_SOURCE_DIR}/packaging/org.korvo.Timer.desktop
        ${PROJECT_SOURCE_DIR}/packaging/org.korvo.Display.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES
        ${PROJECT_SOURCE_DIR}/packaging/icons/org.korvo.Timer.svg
        ${PROJECT_SOURCE_DIR}/packaging/icons/org.korvo.Display.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Installed, not enabled: a program that opens a port on the venue network starts when the operator says so.
# The unit names the program by the prefix of the install itself (/usr in the .deb), known only then.
install(CODE "
    set(bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/korvo-web.service.in\" \"${PROJECT_BINARY_DIR}/unit/korvo-web.service\" @ONLY)
    file(INSTALL \"${PROJECT_BINARY_DIR}/unit/korvo-web.service\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")")

set(KORVO_PACKAGE_MAINTAINER "Korvo Timer maintainers <korvo-timer@localhost>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME korvo-timer)
set(CPACK_PACKAGE_VENDOR "Korvo Timer")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Game clock for timed periods, with remote time displays")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Korvo Timer is a desktop game clock for sports played in timed periods.\n"
    "It counts each period up or down, takes corrections, and broadcasts its\n"
    "time on the local network over UDP port 7699. Korvo Display shows that\n"
    "time on any number of other screens at the venue; korvo-web serves it as\n"
    "live web pages for browsers, TVs and the overlays of live streams.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries come from dpkg-shlibdeps (korvo-web's HTTP server and WebSocket libraries are named too,
# for a reader of this list); what is loaded at run time without being linked is named here: the platform
# plugins (xcb, wayland), the font the digits are drawn in, and Liberation Sans, which has the widths of the
# faces the Setting window was laid out for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core, fonts-liberation2, libqt6httpserver6, libqt6websockets6")
include(CPack)
