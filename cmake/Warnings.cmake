# Warnings for every target of the project; errors when QUORVANE_WARNINGS_AS_ERRORS is on (CI, dev).
function(quorvane_set_warnings target)
    if(MSVC)
        # /utf-8: the sources are UTF-8, and so is the text the program keeps.
        target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
        if(QUORVANE_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                                 -Wsign-conversion -Wnon-virtual-dtor
                                                 -Wold-style-cast -Wcast-align -Woverloaded-virtual
                                                 -Wnull-dereference -Wdouble-promotion -Wformat=2
                                                 -Wimplicit-fallthrough)
        if(QUORVANE_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()
