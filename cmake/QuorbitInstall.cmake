# What `cmake --install` puts where, and the packages CPack makes of it (scripts/package.sh).
#
# Linux: the two programs in bin/, the desktop entry, the program icon in the hicolor sizes, the AppStream
# metadata, a manual page for each program (made with help2man from its --help and --version) and the
# user guide, licence and Debian copyright file under share/doc/quorbit/. CPack makes a Debian package
# whose dependencies dpkg-shlibdeps computes from the programs.
# Windows (the MinGW-w64 cross build): quorbit-cli.exe with the licence and the README in a zip.
include(GNUInstallDirs)

set(QUORBIT_APP_ID org.quorbit.Quorbit)
set(QUORBIT_RELEASE_DATE 2026-12-07) # of the version in project()
set(QUORBIT_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 00:00:00 +0000")
set(QUORBIT_CONTACT "quorbit-authors@users.noreply.invalid")

if(TARGET quorbit-cli)
    install(TARGETS quorbit-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(WIN32)
    install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
    install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME quorbit-cli-${PROJECT_VERSION}-win64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    include(CPack)
    return()
endif()

if(TARGET quorbit)
    install(TARGETS quorbit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${CMAKE_SOURCE_DIR}/resources/linux/${QUORBIT_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 32 64 128 256)
        install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/hicolor/${size}x${size}/apps/quorbit.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    configure_file(${CMAKE_SOURCE_DIR}/resources/linux/${QUORBIT_APP_ID}.metainfo.xml.in
                   ${CMAKE_BINARY_DIR}/generated/${QUORBIT_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/generated/${QUORBIT_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The manual pages, from each program's own --help and --version, compressed as Debian wants them.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
set(QUORBIT_MANUAL_quorbit "find, browse, correct and repair MetaStock price databases")
set(QUORBIT_MANUAL_quorbit-cli "Quorbit's commands for MetaStock price databases, for scripts")
if(HELP2MAN AND GZIP AND NOT CMAKE_CROSSCOMPILING)
    set(pages)
    foreach(program quorbit quorbit-cli)
        if(NOT TARGET ${program})
            continue()
        endif()
        set(page ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
        add_custom_command(OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${HELP2MAN} --no-info --section=1 --name=${QUORBIT_MANUAL_${program}}
                    --output=${CMAKE_BINARY_DIR}/man/${program}.1 $<TARGET_FILE:${program}>
            COMMAND ${GZIP} -9nf ${CMAKE_BINARY_DIR}/man/${program}.1
            DEPENDS ${program} VERBATIM COMMENT "Manual page of ${program}")
        list(APPEND pages ${page})
    endforeach()
    add_custom_target(manual_pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man or gzip not found (or a cross build): no manual pages")
endif()

set(QUORBIT_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quorbit)
install(FILES ${CMAKE_SOURCE_DIR}/resources/help/quorbit.html ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${QUORBIT_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/copyright DESTINATION ${QUORBIT_DOC_DIR})
configure_file(${CMAKE_SOURCE_DIR}/resources/debian/changelog.in ${CMAKE_BINARY_DIR}/generated/changelog @ONLY)
if(GZIP)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/generated/changelog.gz
        COMMAND ${GZIP} -9nc ${CMAKE_BINARY_DIR}/generated/changelog > ${CMAKE_BINARY_DIR}/generated/changelog.gz
        DEPENDS ${CMAKE_BINARY_DIR}/generated/changelog VERBATIM)
    add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/generated/changelog.gz)
    install(FILES ${CMAKE_BINARY_DIR}/generated/changelog.gz DESTINATION ${QUORBIT_DOC_DIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorbit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quorbit authors")
set(CPACK_PACKAGE_CONTACT "The Quorbit authors <${QUORBIT_CONTACT}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, browse, correct and repair MetaStock price databases")
# The long description; CPack puts the summary above it as the first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quorbit is a desktop tool for end-of-day securities price databases in the
MetaStock / CompuTrac format. It finds the portfolios on a volume, lists
their securities and quotes, corrects quotes, renames, moves and copies
securities, checks the data, exports quotes as text and repairs damaged
directory files. Every change writes a complete new copy and puts it in
place with an atomic rename.
.
quorbit-cli offers the same commands to scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # computed from the programs, never listed by hand
# ...except Qt's platform plugins, which the window loads at run time, so no linker records them, and
# without which it cannot open on any display.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
include(CPack)
