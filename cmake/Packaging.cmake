# Installing and packaging: a .deb on Linux, a .zip per Windows architecture,
# and a source package. What a user gets beside the program is written here
# from readable sources in docs/ and res/, with the project's version filled
# in: the user's README, the license, and on Linux the Debian copyright file
# and changelog, the manual page, the desktop entry and the icon.

# The one place the packages' maintainer is named: the .deb's Maintainer
# field, its changelog and its copyright file's contact.
set(VANTREL_MAINTAINER "Vantrel authors <vantrel@example.org>"
    CACHE STRING "The packages' maintainer, as: Name <address>")

set(dist ${CMAKE_BINARY_DIR}/dist)
set(package_files)

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "the Vantrel authors")
set(CPACK_PACKAGE_CONTACT "${VANTREL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shows what a console command prints, in a window")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
    # For Windows users: text files with CRLF line ends, named .txt so that
    # a double click opens them.
    configure_file(docs/README.txt ${dist}/README.txt @ONLY NEWLINE_STYLE CRLF)
    configure_file(LICENSE ${dist}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
    install(TARGETS vantrel RUNTIME DESTINATION .)
    install(FILES ${dist}/README.txt ${dist}/LICENSE.txt DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME ${VANTREL_WINDOWS_ARCHITECTURE})
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    find_program(GZIP gzip REQUIRED)
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantrel)

    configure_file(docs/README.txt ${dist}/README @ONLY)

    # The machine-readable copyright file is made from LICENSE: the years and
    # holders of its copyright line, and the terms after that line as an
    # indented field whose empty lines are written " .".
    file(READ LICENSE license_text)
    if(NOT license_text MATCHES "\nCopyright \\(c\\) ([^\n]+)\n")
        message(FATAL_ERROR "LICENSE has no line \"Copyright (c) <years> <holders>\"")
    endif()
    set(VANTREL_COPYRIGHT_HOLDERS "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "^.*\nCopyright \\(c\\) [^\n]*\n" "" license_terms "${license_text}")
    string(STRIP "${license_terms}" license_terms)
    string(REPLACE "\n\n" "\n.\n" license_terms "${license_terms}")
    string(REPLACE "\n" "\n " VANTREL_LICENSE_TERMS " ${license_terms}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE docs/package-description.txt)
    configure_file(docs/copyright.in ${dist}/copyright @ONLY)

    # The changelog and the manual page are installed compressed, as Debian
    # does: gzip at its best with no name or time stamp, so that the same
    # source makes the same package.
    foreach(page changelog vantrel.1)
        configure_file(docs/${page}.in ${dist}/${page} @ONLY)
        add_custom_command(OUTPUT ${dist}/${page}.gz
            COMMAND ${GZIP} -9n --force --keep ${dist}/${page}
            DEPENDS ${dist}/${page}
            COMMENT "Compressing ${page}")
        list(APPEND package_files ${dist}/${page}.gz)
    endforeach()

    # The icon for the desktop, from the same XPM as the Windows icon: its
    # own size, and larger renderings for menus and task switchers.
    foreach(size 32 64 128)
        set(png ${dist}/icons/${size}x${size}/vantrel.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dist}/icons/${size}x${size}
            COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/res/xpm_to_png.py
                    ${CMAKE_SOURCE_DIR}/res/vantrel_icon.xpm ${size} ${png}
            DEPENDS res/vantrel_icon.xpm res/xpm_to_png.py res/xpm_to_windows.py)
        list(APPEND package_files ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()

    install(TARGETS vantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(TARGETS vantrel-window RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vantrel)
    # A stripped install (the package's) also drops the compiler's notes, as
    # Debian's own packages do.
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vantrel\"
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/vantrel/vantrel-window\"
                            COMMAND_ERROR_IS_FATAL ANY)
        endif()")
    install(FILES ${dist}/README ${dist}/copyright ${dist}/changelog.gz DESTINATION ${docdir})
    install(FILES ${dist}/vantrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES docs/vantrel.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)

    # The .deb installs under /usr, CPack's own prefix for it and the build's
    # default (CMakeLists.txt), where the supervisor looks for the window's
    # program when /proc cannot say where the supervisor itself is.
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTREL_MAINTAINER}")
    # The libraries it links against, as dpkg-shlibdeps finds them; and Qt's
    # Wayland plugin, without which the window cannot show on a Wayland-only
    # desktop.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
    file(READ docs/package-description.txt CPACK_PACKAGE_DESCRIPTION)
endif()
add_custom_target(package_files ALL DEPENDS ${package_files})

# The source package: the tree as it is in version control, without the
# build trees and the repository itself. The patterns are anchored at the
# source directory, which may itself lie under a directory named "build".
string(REGEX REPLACE "([][+.*()^$?|\\])" "\\\\\\1" source_dir_pattern "${CMAKE_SOURCE_DIR}")
set(source_ignore
    "^${source_dir_pattern}/build/"
    "^${source_dir_pattern}/\\.git(/|$)"
    "^${source_dir_pattern}/CMakeUserPresets\\.json$")
# CPack reads the patterns back as CMake code, where a backslash is written
# twice.
string(REPLACE "\\" "\\\\" CPACK_SOURCE_IGNORE_FILES "${source_ignore}")
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME vantrel-${PROJECT_VERSION})

include(CPack)
