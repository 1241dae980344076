# The part of the MinGW-w64 toolchain files that both architectures share. The including file sets
# QUORVANE_MINGW_TRIPLET (x86_64-w64-mingw32 or i686-w64-mingw32) and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10)

# The "-posix" compilers: their libstdc++ has std::thread, which the folder report's workers use
# (the "-win32" ones of GCC 12 have none).
set(CMAKE_C_COMPILER ${QUORVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVANE_MINGW_TRIPLET}-windres)

# Libraries, headers and packages come from the target's tree only; programs run on this machine.
# The header-only libraries and GoogleTest are brought in by cmake/CrossDependencies.cmake.
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthreads linked in: the programs need only Windows' own DLLs, so
# that quorvane-cli.exe runs from a folder of its own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest runs the programs under Wine, headless, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh
                                  ${CMAKE_BINARY_DIR}/wine-prefix)
