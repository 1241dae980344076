# A Windows build's installation and package: quorvane-cli.exe, the README and the licence in one
# folder, zipped by cpack -G ZIP (build/windows/quorvane-cli-<version>-windows-<arch>.zip). The
# program is linked statically, so the folder is all a Windows user needs.
if(TARGET quorvane-cli)
    install(TARGETS quorvane-cli RUNTIME DESTINATION .)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(AMD64|x86_64)$")
    set(quorvane_windows_arch x86_64)
else()
    set(quorvane_windows_arch x86)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quorvane-cli)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_FILE_NAME "quorvane-cli-${PROJECT_VERSION}-windows-${quorvane_windows_arch}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
