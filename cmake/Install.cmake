# Installation (cmake --install) and the Debian package (cpack -G DEB).
#
# Both programs go to bin/; the desktop program also brings its icon and its desktop entry, so
# that it appears in the application menu and opens .exe, .dll and .ocx files given to it.
include(GNUInstallDirs)

set(QUORVANE_RESOURCES ${PROJECT_SOURCE_DIR}/src/ui/resources)
set(quorvane_installed_programs "")

if(TARGET quorvane)
    install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${QUORVANE_RESOURCES}/quorvane.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
    install(FILES ${QUORVANE_RESOURCES}/quorvane.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    # Debian's shared-mime-info calls .exe files (and, by their "MZ" start, .dll and .ocx files)
    # application/x-ms-dos-executable; newer releases add vnd.microsoft.portable-executable.
    install(FILES ${QUORVANE_RESOURCES}/quorvane.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    list(APPEND quorvane_installed_programs quorvane)
endif()
if(TARGET quorvane-cli)
    install(TARGETS quorvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    list(APPEND quorvane_installed_programs quorvane-cli)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane)

# scripts/check-package.sh reads which programs this build installs.
string(REPLACE ";" "\n" quorvane_programs_text "${quorvane_installed_programs}")
file(WRITE ${PROJECT_BINARY_DIR}/quorvane-installed-programs.txt "${quorvane_programs_text}\n")

# The Debian package. Its library dependencies are worked out by dpkg-shlibdeps (dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "The Quorvane developers <quorvane@quorvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "finds the files a Windows program depends on")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane lists the libraries an EXE, DLL or OCX file needs, read from its import table or \
found anywhere in its bytes, checks them against the file's own folder and the system folder, \
and shows the ones that are missing. It comes as a desktop program, quorvane, and a \
command-line companion for scripts, quorvane-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET quorvane)
    # Qt finds its display plugins at run time, which dpkg-shlibdeps cannot see; the title of the
    # About box asks for Arial, whose metric twin fonts-liberation provides.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
endif()
include(CPack)

# Installing the package changes the system, so its check runs under ctest only when asked for.
option(QUORVANE_TEST_PACKAGE
       "Add a test that builds the .deb, installs it with dpkg -i and removes it (needs root)" OFF)
if(QUORVANE_TEST_PACKAGE AND QUORVANE_BUILD_TESTS)
    add_test(NAME quorvane_package_install
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-package.sh ${PROJECT_BINARY_DIR})
    set_tests_properties(quorvane_package_install PROPERTIES RUN_SERIAL ON TIMEOUT 900)
endif()
