# The desktop install: the window and its files under lib/tabrivo (the window
# finds its files beside its executable), both programs on the PATH through
# bin/, a menu entry and the icon in the freedesktop theme folders; and a .deb.
include(GNUInstallDirs)
set(TABRIVO_PROGRAM_DIR "${CMAKE_INSTALL_LIBDIR}/tabrivo")

install(TARGETS tabrivo-convert RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

if(TABRIVO_GUI)
    install(TARGETS tabrivo RUNTIME DESTINATION "${TABRIVO_PROGRAM_DIR}")
    install(FILES ${TABRIVO_SAMPLES} DESTINATION "${TABRIVO_PROGRAM_DIR}/Samples")
    install(FILES ${TABRIVO_CURSORS} DESTINATION "${TABRIVO_PROGRAM_DIR}")
    install(FILES ${TABRIVO_SKIN} DESTINATION "${TABRIVO_PROGRAM_DIR}/x")
    install(FILES ${TABRIVO_ICON_PNGS} DESTINATION "${TABRIVO_PROGRAM_DIR}/icons")

    # bin/tabrivo points at the program in its own folder.
    set(_link "${CMAKE_CURRENT_BINARY_DIR}/install-links/tabrivo")
    file(RELATIVE_PATH _target "/${CMAKE_INSTALL_BINDIR}" "/${TABRIVO_PROGRAM_DIR}/tabrivo")
    file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/install-links")
    file(CREATE_LINK "${_target}" "${_link}" SYMBOLIC)
    install(FILES "${_link}" DESTINATION "${CMAKE_INSTALL_BINDIR}")

    install(FILES "${PROJECT_SOURCE_DIR}/packaging/tabrivo.desktop"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    foreach(_size 16 24 32 48 64 128 256)
        install(FILES "${TABRIVO_ARTWORK_DIR}/icons/tabrivo-${_size}.png"
                DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps"
                RENAME tabrivo.png)
    endforeach()
    install(FILES "${TABRIVO_ARTWORK_DIR}/tabrivo.svg"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
endif()

set(CPACK_PACKAGE_NAME "tabrivo")
set(CPACK_PACKAGE_VENDOR "Tavrenco")
set(CPACK_PACKAGE_CONTACT "Tabrivo <support@tabrivo.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns the tables of HTML files into text, many files at a time")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its platform plugins and fonts at run time, not through linking.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
include(CPack)
