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
message(STATUS "Debian build flags: ${_cppflags} ${_cxxflags} ${_ldflags}")
