# Address and undefined-behaviour sanitizers for the whole build (preset "dev", "asan").
if(QUORVANE_SANITIZE)
    if(MSVC)
        add_compile_options(/fsanitize=address)
    else()
        add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                            -fno-omit-frame-pointer)
        add_link_options(-fsanitize=address,undefined)
    endif()
endif()

# Fuzz targets (preset "fuzz"): every object gets libFuzzer's coverage hooks and the sanitizers, so
# that the fuzzer sees inside the core; only the fuzz targets link libFuzzer itself.
if(QUORVANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "QUORVANE_FUZZ needs clang's libFuzzer: use the \"fuzz\" preset")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                        -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
