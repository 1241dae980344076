# What a cross build (cmake/toolchains/*) needs besides the compilers, all from Debian's packages:
#
# - CLI11 and nlohmann-json, header-only, from the build machine's /usr/include. Only their own
#   header folders are handed to the compiler, through a folder of links in the build tree:
#   -I/usr/include would put this machine's C library in front of the target's.
# - LLVM's demangler headers (llvm-14-dev), of which src/core/pe uses the header-only Itanium
#   parser: only their own folder, through a link as above.
# - GoogleTest, compiled from the sources in /usr/src/googletest by the same compilers.
#
# Each is made known to find_package through CMAKE_FIND_PACKAGE_REDIRECTS_DIR, so that the rest of
# the build finds them as it does natively.
set(quorvane_host_headers ${PROJECT_BINARY_DIR}/host-headers)

# quorvane_host_header_library(PACKAGE TARGET HEADER): PACKAGE's headers, found by HEADER (a path
# under /usr/include whose first component is the library's folder), as the imported TARGET.
function(quorvane_host_header_library package target header)
    find_file(quorvane_${package}_header ${header} PATHS /usr/include /usr/local/include
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT quorvane_${package}_header)
        message(FATAL_ERROR "${package}: no ${header} on this machine (scripts/setup-deps.sh)")
    endif()
    string(REGEX MATCH "^[^/]+" folder "${header}")
    string(REPLACE "${header}" "${folder}" source "${quorvane_${package}_header}")
    file(MAKE_DIRECTORY ${quorvane_host_headers}/${package})
    file(CREATE_LINK ${source} ${quorvane_host_headers}/${package}/${folder} SYMBOLIC)

    # The version is the build machine's package's own.
    find_file(quorvane_${package}_version ${package}ConfigVersion.cmake
              PATHS /usr/share/cmake/${package} /usr/lib/cmake/${package}
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    set(redirect ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR})
    file(WRITE ${redirect}/${package}Config.cmake
         "if(NOT TARGET ${target})\n"
         "    add_library(${target} INTERFACE IMPORTED)\n"
         "    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES\n"
         "                          \"${quorvane_host_headers}/${package}\")\n"
         "endif()\n")
    if(quorvane_${package}_version)
        file(WRITE ${redirect}/${package}ConfigVersion.cmake
             "include(\"${quorvane_${package}_version}\")\n")
    endif()
endfunction()

quorvane_host_header_library(CLI11 CLI11::CLI11 CLI/CLI.hpp)
quorvane_host_header_library(nlohmann_json nlohmann_json::nlohmann_json nlohmann/json.hpp)

find_path(quorvane_llvm_demangle llvm/Demangle/ItaniumDemangle.h PATHS /usr/lib/llvm-14/include
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT quorvane_llvm_demangle)
    message(FATAL_ERROR "LLVM's demangler headers are not in /usr/lib/llvm-14/include (llvm-14-dev)")
endif()
file(MAKE_DIRECTORY ${quorvane_host_headers}/llvm-demangle/llvm)
file(CREATE_LINK ${quorvane_llvm_demangle}/llvm/Demangle
     ${quorvane_host_headers}/llvm-demangle/llvm/Demangle SYMBOLIC)
set(QUORVANE_LLVM_DEMANGLE_INCLUDE ${quorvane_host_headers}/llvm-demangle
    CACHE PATH "LLVM's demangler headers, for the target")

if(QUORVANE_BUILD_TESTS)
    if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest's sources are not in /usr/src/googletest (googletest)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # The targets GTest::gtest, GTest::gtest_main, GTest::gmock... exist now; find_package(GTest)
    # only has to say so.
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/GTestConfig.cmake "set(GTest_FOUND TRUE)\n")
endif()
