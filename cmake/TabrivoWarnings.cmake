# tabrivo_set_warnings(<target>): the project's warning set on one target.
function(tabrivo_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion)
    if(TABRIVO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
