# The compiler and linker flags of Debian packages (dpkg-buildflags with every
# hardening feature): stack protector, fortified functions, format checks,
# read-only relocations bound at start. Flags from the environment
# (DEB_CXXFLAGS_APPEND and the like) are honoured as dpkg-buildflags does.
find_program(TABRIVO_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT TABRIVO_DPKG_BUILDFLAGS)
    message(STATUS "dpkg-buildflags not found: building without Debian's hardening flags")
    return()
endif()

function(_tabrivo_buildflags name out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${TABRIVO_DPKG_BUILDFLAGS} --get ${name}
        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # The build type chooses the optimisation, and the package ships stripped
    # programs with no debug symbols package, so -O2 and -g are left out.
    list(FILTER flags EXCLUDE REGEX "^-O[0-9s]?$|^-g$")
    list(JOIN flags " " flags)
    set(${out} "${flags}" PARENT_SCOPE)
endfunction()

_tabrivo_buildflags(CPPFLAGS _cppflags)
# Fortified functions need optimisation; an unoptimised build would only warn.
if(NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    string(REGEX REPLACE "-D_FORTIFY_SOURCE=[0-9]" "" _cppflags "${_cppflags}")
endif()
_tabrivo_buildflags(CFLAGS _cflags)
_tabrivo_buildflags(CXXFLAGS _cxxflags)
_tabrivo_buildflags(LDFLAGS _ldflags)
string(APPEND CMAKE_C_FLAGS " ${_cppflags} ${_cflags}")
string(APPEND CMAKE_CXX_FLAGS " ${_cppflags} ${_cxxflags}")
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${_ldflags}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${_ldflags}")
string(APPEND CMAKE_MODULE_LINKER_FLAGS " ${_ldflags}")  # the Python module
message(STATUS "Debian build flags: ${_cppflags} ${_cxxflags} ${_ldflags}")

# Installed programs and the Python module are stripped as dh_strip strips
# them: the symbols, and the compiler's notes (.comment, .note) the packages
# need not carry. CMake calls the strip program with the file alone.
if(CMAKE_STRIP AND NOT CMAKE_STRIP MATCHES "strip-for-debian$")
    set(_strip_for_debian "${CMAKE_BINARY_DIR}/strip-for-debian")
    file(CONFIGURE OUTPUT "${_strip_for_debian}"
         CONTENT "#!/bin/sh\nexec '@CMAKE_STRIP@' --remove-section=.comment --remove-section=.note \"$@\"\n"
         @ONLY)
    file(CHMOD "${_strip_for_debian}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CMAKE_STRIP "${_strip_for_debian}")
endif()
