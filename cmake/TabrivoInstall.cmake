# The install, in three parts that are three Debian packages of one source:
#   window  (tabrivo)          the window and the files it finds beside it under
#                              lib/tabrivo, bin/tabrivo, a menu entry that opens
#                              HTML files, the icon, the AppStream metadata;
#   cli     (tabrivo-cli)      tabrivo-convert and its shell completion, no Qt;
#   python  (python3-tabrivo)  the Python module, byte-compiled by Debian's
#                              Python helper when installed.
# Each has its manual page (where it has a program), copyright and changelog.
# `cpack` in a build folder makes the three .deb files; lintian accepts them.
include(GNUInstallDirs)
set(TABRIVO_PROGRAM_DIR "${CMAKE_INSTALL_LIBDIR}/tabrivo")
set(TABRIVO_DEB_REVISION 2)
set(_deb_version "${PROJECT_VERSION}-${TABRIVO_DEB_REVISION}")
# The first revision held all three parts in the package tabrivo.
set(_split_from "tabrivo (<< 0.1.0-2)")
set(_packaging "${PROJECT_SOURCE_DIR}/packaging")
set(_generated "${CMAKE_CURRENT_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${_generated}")

set(_parts cli)
if(TABRIVO_GUI)
    list(APPEND _parts window)
endif()
if(TABRIVO_PYTHON_MODULE)
    list(APPEND _parts python)
endif()
set(_package_of_window tabrivo)
set(_package_of_cli tabrivo-cli)
set(_package_of_python python3-tabrivo)

install(TARGETS tabrivo-convert RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT cli)

# The changelog's latest entry names the version being packaged.
file(STRINGS "${_packaging}/changelog" _latest LIMIT_COUNT 1)
if(NOT _latest MATCHES "^tabrivo \\(${_deb_version}\\) ")
    message(FATAL_ERROR "packaging/changelog begins with \"${_latest}\"; its latest entry must be "
                        "for version ${_deb_version}")
endif()
add_custom_command(
    OUTPUT "${_generated}/changelog.Debian.gz"
    COMMAND gzip -9n -c "${_packaging}/changelog" > "${_generated}/changelog.Debian.gz"
    DEPENDS "${_packaging}/changelog"
    VERBATIM)
set(_package_files "${_generated}/changelog.Debian.gz")

# Every package's copyright, changelog and lintian overrides.
foreach(_part ${_parts})
    set(_package "${_package_of_${_part}}")
    install(FILES "${_packaging}/copyright" "${_generated}/changelog.Debian.gz"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${_package}" COMPONENT ${_part})
    if(EXISTS "${_packaging}/${_package}.lintian-overrides")
        install(FILES "${_packaging}/${_package}.lintian-overrides"
                DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides" RENAME ${_package}
                COMPONENT ${_part})
    endif()
endforeach()

# Manual pages made from the programs' own --help and --version, so they never
# drift from what the programs say, with the examples and the environment
# from packaging/<program>.h2m.
find_program(TABRIVO_HELP2MAN help2man)
function(tabrivo_man_page target part summary)
    set(_page "${_generated}/${target}.1")
    set(_include "${_packaging}/${target}.h2m")
    add_custom_command(
        OUTPUT "${_page}.gz"
        COMMAND ${TABRIVO_HELP2MAN} --no-info --section=1 --name=${summary}
                --include=${_include} --output=${_page} $<TARGET_FILE:${target}>
        COMMAND gzip -9nf "${_page}"
        DEPENDS ${target} "${_include}"
        VERBATIM)
    set(_package_files ${_package_files} "${_page}.gz" PARENT_SCOPE)
    install(FILES "${_page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT ${part})
endfunction()
if(TABRIVO_HELP2MAN)
    tabrivo_man_page(tabrivo-convert cli "convert the tables of HTML files to text files")
    if(TABRIVO_GUI)
        tabrivo_man_page(tabrivo window
                         "the window that converts the tables of HTML files to text files")
    endif()
else()
    message(WARNING "help2man not found (Debian package help2man): no manual pages")
endif()
add_custom_target(tabrivo_package_files ALL DEPENDS ${_package_files})

install(FILES "${_packaging}/tabrivo-convert.bash-completion"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions"
        RENAME tabrivo-convert COMPONENT cli)
install(FILES "${_packaging}/_tabrivo-convert"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions" COMPONENT cli)

if(TABRIVO_GUI)
    install(TARGETS tabrivo RUNTIME DESTINATION "${TABRIVO_PROGRAM_DIR}" COMPONENT window)
    install(FILES ${TABRIVO_SAMPLES} DESTINATION "${TABRIVO_PROGRAM_DIR}/Samples"
            COMPONENT window)
    install(FILES ${TABRIVO_CURSORS} DESTINATION "${TABRIVO_PROGRAM_DIR}" COMPONENT window)
    install(FILES ${TABRIVO_SKIN} DESTINATION "${TABRIVO_PROGRAM_DIR}/x" COMPONENT window)

    # Links: bin/tabrivo to the program in its own folder, and the window's
    # icons beside it to the icon theme's copies (images belong in share/).
    set(_links "${CMAKE_CURRENT_BINARY_DIR}/install-links")
    file(MAKE_DIRECTORY "${_links}/icons")
    function(tabrivo_install_link link_name from_dir to_file)
        file(RELATIVE_PATH _target "/${from_dir}" "/${to_file}")
        file(CREATE_LINK "${_target}" "${_links}/${link_name}" SYMBOLIC)
        install(FILES "${_links}/${link_name}" DESTINATION "${from_dir}" COMPONENT window)
    endfunction()
    tabrivo_install_link(tabrivo "${CMAKE_INSTALL_BINDIR}" "${TABRIVO_PROGRAM_DIR}/tabrivo")

    install(FILES "${_packaging}/tabrivo.desktop"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT window)
    install(FILES "${_packaging}/org.tabrivo.tabrivo.metainfo.xml"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT window)
    foreach(_size 16 24 32 48 64 128 256)
        set(_themed "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps")
        install(FILES "${TABRIVO_ARTWORK_DIR}/icons/tabrivo-${_size}.png"
                DESTINATION "${_themed}" RENAME tabrivo.png COMPONENT window)
        tabrivo_install_link(icons/tabrivo-${_size}.png "${TABRIVO_PROGRAM_DIR}/icons"
                             "${_themed}/tabrivo.png")
    endforeach()
    install(FILES "${TABRIVO_ARTWORK_DIR}/tabrivo.svg"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps" COMPONENT window)
endif()

# ---- the Debian packages ----------------------------------------------------
# Each description's first line is its package's summary (none for all).
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGE_NAME "tabrivo")
set(CPACK_PACKAGE_VENDOR "Tavrenco")
set(CPACK_PACKAGE_CONTACT "Tabrivo <support@tabrivo.org>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_PACKAGE_RELEASE "${TABRIVO_DEB_REVISION}")
set(CPACK_DEBIAN_PACKAGE_SOURCE "tabrivo")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tabrivo.org/")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${_parts})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# What every description ends with: what the engine does.
set(_about_the_engine
    ".
Tabrivo writes every table of every HTML file, row by row and cell by
cell, to a .json text file beside the source or into one chosen folder.
Each cell's text is what a web browser shows for it: white space
collapsed, line breaks where the page breaks lines, hidden content left
out. Pages in legacy encodings are decoded as browsers decode them.")

# Each package's relations, one entry a line so that changes merge cleanly;
# the libraries the programs link come from dpkg-shlibdeps on top of these.
set(_cli_depends
)
set(_cli_breaks
    "${_split_from}"
)
set(_window_depends
    # Qt finds its platform plugins and fonts at run time, not through linking.
    "qt6-qpa-plugins"
    "fonts-liberation"
)
set(_window_recommends
    # The earlier package held the converter too; an upgrade keeps it.
    "tabrivo-cli (= ${_deb_version})"
)
set(_window_suggests
    "python3-tabrivo (= ${_deb_version})"
)
set(_python_depends)
if(TABRIVO_PYTHON_MODULE)
    # The native module is built for one Python version.
    math(EXPR _next_minor "${Python3_VERSION_MINOR} + 1")
    set(_python_depends
        "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~)"
        "python3 (<< ${Python3_VERSION_MAJOR}.${_next_minor})"
    )
endif()
set(_python_suggests
    "python3-pandas"
    "python3-distributed"
)
set(_python_breaks
    "${_split_from}"
)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME "tabrivo-cli")
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "convert the tables of HTML files to text, JSON or CSV (command line)
The command-line converter tabrivo-convert, for batch work, scripts and
machines without a display: it needs no graphical toolkit. Besides the
Tabrivo text format it writes strict JSON, JSON Lines and CSV, with row
and column spans expanded on request, reads file lists (find -print0) and
web archives (WARC), and converts many files at a time.
${_about_the_engine}")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME "tabrivo")
set(CPACK_DEBIAN_WINDOW_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
    "convert the tables of HTML files to text (window)
The window tabrivo gathers HTML files in a list, by the file dialog, by a
folder and an extension, by dropping files and folders onto the list or
from a file manager's Open With menu, and converts them all at once.
.
The result is the Tabrivo text format, which looks like JSON but is not
strict JSON: cell texts are written as they are, without escaping. The
command-line converter is in the package tabrivo-cli.
${_about_the_engine}")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME "python3-tabrivo")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION "python")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "read the tables of HTML files into Python
The Python module tabrivo reads the tables of pages into lists of rows or
pandas DataFrames (read_tables, read_html, read_many) and the pages of web
archives (read_warc); tabrivo.dask spreads a conversion over a Dask
cluster.
${_about_the_engine}")
# Debian's Python helper byte-compiles the module when it is installed and
# removes the byte-code before it is removed (py3compile and py3clean).
configure_file("${_packaging}/python3-tabrivo.postinst" "${_generated}/python/postinst" COPYONLY)
configure_file("${_packaging}/python3-tabrivo.prerm" "${_generated}/python/prerm" COPYONLY)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
    "${_generated}/python/postinst;${_generated}/python/prerm")

foreach(_part cli window python)
    string(TOUPPER ${_part} _PART)
    set(CPACK_DEBIAN_${_PART}_FILE_NAME DEB-DEFAULT)
    foreach(_relation depends recommends suggests breaks)
        string(TOUPPER ${_relation} _RELATION)
        list(JOIN _${_part}_${_relation} ", " CPACK_DEBIAN_${_PART}_PACKAGE_${_RELATION})
    endforeach()
    # What moved out of the first package replaces its files there.
    set(CPACK_DEBIAN_${_PART}_PACKAGE_REPLACES "${CPACK_DEBIAN_${_PART}_PACKAGE_BREAKS}")
endforeach()
include(CPack)
