# Installing and the Debian package (cpack -G DEB).
#
# The program and its manual go together into /usr/lib/kxlink, the program's folder, which a
# user cannot write: the program then keeps its files in the user's data folder. /usr/bin/kxlink
# links to it, so the running program still finds its folder (and the manual) through its own
# resolved path.
include(GNUInstallDirs)

set(KX_PROGRAM_DIR lib/kxlink)
install(TARGETS kxlink RUNTIME DESTINATION ${KX_PROGRAM_DIR})
install(FILES ${KX_MANUAL_PDF} DESTINATION ${KX_PROGRAM_DIR})
install(TARGETS kx7400-sim kxlink-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${KX_CLI_MAN_PAGE} ${KX_APP_MAN_PAGE} ${KX_SIM_MAN_PAGE}
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# What Debian asks of every package: the copyright and the changelog, compressed as dh would.
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(kxlink-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(link ${CMAKE_BINARY_DIR}/packaging/kxlink)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
file(CREATE_LINK ../${KX_PROGRAM_DIR}/kxlink ${link} SYMBOLIC)
install(FILES ${link} DESTINATION ${CMAKE_INSTALL_BINDIR})

set(KX_APP_ID com.morvellscales.kxlink)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${KX_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/${KX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${KX_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${KX_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${KX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The plant gateway as a service, disabled until the administrator enables it, and its
# commented example configuration, which dpkg keeps as the administrator left it.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kxlink-gateway.service DESTINATION /lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/gateway.ini DESTINATION /etc/kxlink)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/conffiles
    ${CMAKE_SOURCE_DIR}/packaging/postinst ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")

set(CPACK_PACKAGE_NAME kxlink)
set(CPACK_PACKAGE_VENDOR "${KX_VERSION_COMPANY_NAME}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${KX_VERSION_COMMENTS}")
# Debian's description lines: at most 80 characters, one blank in front (cpack adds it).
set(CPACK_PACKAGE_DESCRIPTION
    "KXLINK joins a PC to a KX7400 weighing indicator over RS-232: a remote front\n"
    "panel, a trend of the weight with a CSV recording, a parameter editor with\n"
    "settings files, setup upload and download, and firmware updates. It comes\n"
    "with kxlink-cli for scripts, a plant gateway serving every indicator over\n"
    "Modbus TCP and MQTT as a service, the indicator simulator kx7400-sim and\n"
    "the operator's manual.")
set(CPACK_PACKAGE_CONTACT "${KX_VERSION_COMPANY_NAME} <support@morvellscales.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so no library scan finds them: the desktop's document opener for the
# manual, the weight display's font, and Qt's native Wayland plugin (X11's comes with
# libqt6gui6, which the scan finds).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-dseg, qt6-wayland")
include(CPack)

if(BUILD_TESTING)
    # The package as a user gets it: built, unpacked, its program started once.
    add_test(NAME package_deb
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/package-test.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(package_deb PROPERTIES TIMEOUT 180)
endif()
