# tabrivo_set_warnings(<target>): the project's warning set on one target.
function(tabrivo_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion)
    if(TABRIVO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
        # Under the sanitizers GCC 12 reports std::function inside <regex> as
        # maybe uninitialized (a false positive of its own headers); it stays
        # a warning there.
        if(TABRIVO_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            target_compile_options(${target} PRIVATE -Wno-error=maybe-uninitialized)
        endif()
    endif()
endfunction()
