# The desktop install: the window and its files under lib/tabrivo (the window
# finds its files beside its executable), both programs on the PATH through
# bin/, a menu entry, the icon and the AppStream metadata in the freedesktop
# folders, manual pages, shell completion, and a .deb that lintian accepts.
include(GNUInstallDirs)
set(TABRIVO_PROGRAM_DIR "${CMAKE_INSTALL_LIBDIR}/tabrivo")
set(TABRIVO_DEB_REVISION 1)
set(TABRIVO_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/tabrivo")
set(_packaging "${PROJECT_SOURCE_DIR}/packaging")
set(_generated "${CMAKE_CURRENT_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${_generated}")

install(TARGETS tabrivo-convert RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# The changelog's latest entry names the version being packaged.
file(STRINGS "${_packaging}/changelog" _latest LIMIT_COUNT 1)
if(NOT _latest MATCHES "^tabrivo \\(${PROJECT_VERSION}-${TABRIVO_DEB_REVISION}\\) ")
    message(FATAL_ERROR "packaging/changelog begins with \"${_latest}\"; its latest entry must be "
                        "for version ${PROJECT_VERSION}-${TABRIVO_DEB_REVISION}")
endif()
add_custom_command(
    OUTPUT "${_generated}/changelog.Debian.gz"
    COMMAND gzip -9n -c "${_packaging}/changelog" > "${_generated}/changelog.Debian.gz"
    DEPENDS "${_packaging}/changelog"
    VERBATIM)
set(_package_files "${_generated}/changelog.Debian.gz")

# Manual pages made from the programs' own --help and --version, so they never
# drift from what the programs say.
find_program(TABRIVO_HELP2MAN help2man)
function(tabrivo_man_page target summary)
    set(_page "${_generated}/${target}.1")
    add_custom_command(
        OUTPUT "${_page}.gz"
        COMMAND ${TABRIVO_HELP2MAN} --no-info --section=1 --name=${summary}
                --output=${_page} $<TARGET_FILE:${target}>
        COMMAND gzip -9nf "${_page}"
        DEPENDS ${target}
        VERBATIM)
    set(_package_files ${_package_files} "${_page}.gz" PARENT_SCOPE)
    install(FILES "${_page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endfunction()
if(TABRIVO_HELP2MAN)
    tabrivo_man_page(tabrivo-convert "convert the tables of HTML files to text files")
    if(TABRIVO_GUI)
        tabrivo_man_page(tabrivo "the window that converts the tables of HTML files to text files")
    endif()
else()
    message(WARNING "help2man not found (Debian package help2man): no manual pages")
endif()
add_custom_target(tabrivo_package_files ALL DEPENDS ${_package_files})

install(FILES "${_packaging}/copyright" "${_generated}/changelog.Debian.gz"
        DESTINATION "${TABRIVO_DOC_DIR}")
install(FILES "${_packaging}/tabrivo-convert.bash-completion"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions"
        RENAME tabrivo-convert)
install(FILES "${_packaging}/_tabrivo-convert"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions")
install(FILES "${_packaging}/lintian-overrides"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides" RENAME tabrivo)

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

    install(FILES "${_packaging}/tabrivo.desktop"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    install(FILES "${_packaging}/org.tabrivo.tabrivo.metainfo.xml"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
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
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns the tables of HTML files into text, many files at a time")
set(CPACK_PACKAGE_DESCRIPTION
    "Tabrivo writes every table of every HTML file, row by row and cell by
cell, to a .json text file beside the source or into one chosen folder.
Each cell's text is what a web browser shows for it: white space
collapsed, line breaks where the page breaks lines, hidden content left
out. Pages in legacy encodings are decoded as browsers decode them.
.
The package holds the window, tabrivo, which gathers the files in a list
(by dialog, by folder and extension, or dropped onto it), and the
command-line converter, tabrivo-convert, for batch work and scripts.
.
The result is the Tabrivo text format, which looks like JSON but is not
strict JSON: cell texts are written as they are, without escaping. The
converter also writes strict JSON, JSON Lines and CSV, with row and column
spans expanded on request.
.
The Python module tabrivo reads the tables of pages into lists of rows or
pandas DataFrames (read_tables, read_html, read_many).")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_PACKAGE_RELEASE "${TABRIVO_DEB_REVISION}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tabrivo.org/")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its platform plugins and fonts at run time, not through linking.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
if(TABRIVO_PYTHON_MODULE)
    # The native module is built for one Python version.
    math(EXPR _next_minor "${Python3_VERSION_MINOR} + 1")
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
           ", python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~),"
           " python3 (<< ${Python3_VERSION_MAJOR}.${_next_minor})")
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pandas")
endif()
include(CPack)
