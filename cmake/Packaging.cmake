# What `cmake --install` puts on a machine, and the Debian package that CPack makes of it:
# the installer and the tool, the installer's menu entry and icons, the man pages and the
# licence. scripts/package builds the package and prints its path.
include(GNUInstallDirs)

set(IW_PACKAGE_NAME inkwarden-installer)
set(IW_PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${IW_PACKAGE_NAME})
# The installer's application id: its window class, its menu entry and its icon.
set(IW_INSTALLER_ID inkwarden-installer)

install(TARGETS inkwarden-installer inkwarden-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${IW_INSTALLER_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(icon IN ITEMS "48x48|skin/icon-48.png" "256x256|skin/icon.png"
                      "scalable|skin/art/svg/icon.svg")
    string(REPLACE "|" ";" parts "${icon}")
    list(GET parts 0 size)
    list(GET parts 1 file)
    get_filename_component(extension ${file} LAST_EXT)
    install(FILES ${CMAKE_SOURCE_DIR}/${file}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps
            RENAME ${IW_INSTALLER_ID}${extension})
endforeach()

# Debian's copyright file in the machine-readable format: the licence as a License
# paragraph (each line indented, an empty one as " ."), and the libraries compiled in.
set(CPACK_PACKAGE_CONTACT "Inkwarden <support@inkwarden.example>")
file(READ ${CMAKE_SOURCE_DIR}/LICENSE IW_LICENSE_PARAGRAPH)
string(STRIP "${IW_LICENSE_PARAGRAPH}" IW_LICENSE_PARAGRAPH)
string(REPLACE "\n\n" "\n.\n" IW_LICENSE_PARAGRAPH "${IW_LICENSE_PARAGRAPH}")
string(REPLACE "\n" "\n " IW_LICENSE_PARAGRAPH " ${IW_LICENSE_PARAGRAPH}")
configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${CMAKE_BINARY_DIR}/packaging/copyright
               @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright DESTINATION ${IW_PACKAGE_DOC_DIR})

# The package's changelog, which Debian wants compressed beside the copyright file.
find_program(GZIP gzip REQUIRED)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog
               @ONLY)
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${GZIP} -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(iw_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${IW_PACKAGE_DOC_DIR})

# Man pages: help2man runs each program's --help and --version and adds the text of
# docs/man/<program>.h2m; compressed as Debian wants them.
find_program(HELP2MAN help2man)
if(HELP2MAN)
    set(pages)
    foreach(program IN ITEMS inkwarden-installer inkwarden-tool)
        set(include ${CMAKE_SOURCE_DIR}/docs/man/${program}.h2m)
        set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
        add_custom_command(
            OUTPUT ${page}.gz
            COMMAND ${HELP2MAN} --no-info --section=1 --include=${include} --output=${page}
                    $<TARGET_FILE:${program}>
            COMMAND ${GZIP} -9nf ${page}
            DEPENDS ${program} ${include}
            COMMENT "Man page of ${program}"
            VERBATIM)
        list(APPEND pages ${page}.gz)
    endforeach()
    add_custom_target(iw_man_pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man is missing: no man pages (scripts/setup installs it)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${IW_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR Inkwarden)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "online installer of Inkwarden, the printer assistant")
# CPack puts the summary first and indents the lines; an empty line parts paragraphs.
set(CPACK_PACKAGE_DESCRIPTION
    "The installer asks the version service which release of Inkwarden is
current, downloads its package with up to six parallel connections, runs it
with the choices made in its window, checks the installed version and starts
the product. It reports its pages and clicks to an event service.

inkwarden-tool runs the installer's pieces on their own and renders skins.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The installer loads libcurl by name on its first transfer, where the library scan cannot
# see it; inkwarden-tool links it, so the scan names it once for both (naming it here too
# would list it twice). The package test checks that it is there.
# Without glib-networking the proxy comes from the environment alone: the desktop's settings
# are read through it, PAC files are run by libproxy's JavaScript plugin, and KDE's settings
# are read by its kconfig plugin (with KDE's kreadconfig5, which a KDE desktop has).
# The skin's faces: its fonts.conf maps the names it uses onto these (the serif CJK face for
# Chinese, a Latin one for every other language).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei, fonts-arphic-uming, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "glib-networking, gsettings-desktop-schemas, libproxy1-plugin-webkit, libproxy1-plugin-kconfig")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
