# Installation (cmake --install) and the packages: the Debian package (cpack -G DEB) on Linux, a
# zip of quorvane-cli.exe with the README and the licence in a Windows build (cpack -G ZIP).
#
# On Linux both programs go to bin/; the desktop program also brings its icon and its desktop
# entry, so that it appears in the application menu and opens .exe, .dll and .ocx files given to
# it. Each program has its manual page, quorvane-cli's made from its --help by help2man.
if(WIN32)
    include(InstallWindows)
    return()
endif()
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
set(quorvane_doc ${CMAKE_INSTALL_DATADIR}/doc/quorvane)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
        DESTINATION ${quorvane_doc})

# Manual pages and the changelog, compressed as Debian wants them (gzip -9n: no name, no time).
set(quorvane_man ${PROJECT_BINARY_DIR}/man)
set(quorvane_compressed "")
function(quorvane_gzip source target)
    add_custom_command(OUTPUT ${target}.gz
                       COMMAND ${CMAKE_COMMAND} -E copy ${source} ${target}
                       COMMAND gzip -9nf ${target}
                       DEPENDS ${source} VERBATIM)
    set(quorvane_compressed ${quorvane_compressed} ${target}.gz PARENT_SCOPE)
endfunction()

# The changelog's newest entry is this version: checked here, so that the two never drift apart.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog quorvane_changelog_top LIMIT_COUNT 1)
if(NOT quorvane_changelog_top MATCHES "^quorvane \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog does not start with version ${PROJECT_VERSION}")
endif()
quorvane_gzip(${PROJECT_SOURCE_DIR}/cmake/debian/changelog ${quorvane_man}/changelog)
install(FILES ${quorvane_man}/changelog.gz DESTINATION ${quorvane_doc})

if(TARGET quorvane)
    quorvane_gzip(${QUORVANE_RESOURCES}/quorvane.1 ${quorvane_man}/quorvane.1)
    install(FILES ${quorvane_man}/quorvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
find_program(QUORVANE_HELP2MAN help2man)
if(TARGET quorvane-cli AND QUORVANE_HELP2MAN)
    # Made from the program's own --help and --version, so that it never drifts from them.
    add_custom_command(
        OUTPUT ${quorvane_man}/quorvane-cli.1.gz
        COMMAND ${QUORVANE_HELP2MAN} --no-info --section=1 --source=Quorvane
                "--name=list the files a Windows program needs, and which are missing"
                --include=${PROJECT_SOURCE_DIR}/cmake/debian/quorvane-cli.h2m
                --output=${quorvane_man}/quorvane-cli.1 $<TARGET_FILE:quorvane-cli>
        COMMAND gzip -9nf ${quorvane_man}/quorvane-cli.1
        DEPENDS quorvane-cli ${PROJECT_SOURCE_DIR}/cmake/debian/quorvane-cli.h2m VERBATIM)
    list(APPEND quorvane_compressed ${quorvane_man}/quorvane-cli.1.gz)
    install(FILES ${quorvane_man}/quorvane-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
elseif(TARGET quorvane-cli)
    message(STATUS "No help2man: quorvane-cli gets no manual page (scripts/setup-deps.sh)")
endif()
add_custom_target(quorvane_docs ALL DEPENDS ${quorvane_compressed})

# scripts/check-package.sh reads which programs this build installs.
string(REPLACE ";" "\n" quorvane_programs_text "${quorvane_installed_programs}")
file(WRITE ${PROJECT_BINARY_DIR}/quorvane-installed-programs.txt "${quorvane_programs_text}\n")

# The Debian package. Its library dependencies are worked out by dpkg-shlibdeps (dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "The Quorvane developers <quorvane@quorvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "finds the files a Windows program depends on")
# Debian wants each line of the description shorter than 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane lists the libraries an EXE, DLL or OCX file needs, read from its\n\
import table or found anywhere in its bytes, checks them against the file's\n\
own folder and the system folder, and shows the ones that are missing. It\n\
comes as a desktop program, quorvane, and a command-line companion for\n\
scripts and packagers, quorvane-cli.")
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
