# Installation (cmake --install) and packages (cpack): the two programs, the desktop entry, the
# program icon, the AppStream metainfo, the man pages, the README and the licence. On Debian
# `./run package` builds quorvane_<version>_amd64.deb; on Windows the same rules, with Qt's
# run-time files copied by rule, feed an NSIS installer (`./run windows`).

include(GNUInstallDirs)

# The date of this version, shown in the man pages and the metainfo's release.
set(QUORVANE_RELEASE_DATE 2026-12-07)
set(QUORVANE_PACKAGING ${CMAKE_CURRENT_LIST_DIR})
set(QUORVANE_GENERATED ${CMAKE_BINARY_DIR}/packaging)
set(QUORVANE_ICONS ${CMAKE_SOURCE_DIR}/src/app/icons)
set(QUORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)

# Two parts: "cli", the batch command (QtCore, QtSql, QtNetwork, SQLite: no window libraries,
# for servers and cron), and "gui", the window with its desktop entry, icons and metainfo.
install(TARGETS quorvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)

if(NOT WIN32)
  # Each package's documentation folder holds the README, the machine-readable copyright and
  # the changelog, compressed as Debian keeps it. gzip -9n: best compression and no time stamp,
  # so that two builds of one version give the same package.
  find_program(QUORVANE_GZIP gzip REQUIRED)
  set(QUORVANE_GZIPPED)
  function(quorvane_gzip source output)
    add_custom_command(OUTPUT ${output} COMMAND ${QUORVANE_GZIP} -9n -c ${source} > ${output}
      DEPENDS ${source} VERBATIM)
    set(QUORVANE_GZIPPED ${QUORVANE_GZIPPED} ${output} PARENT_SCOPE)
  endfunction()

  quorvane_gzip(${QUORVANE_PACKAGING}/changelog ${QUORVANE_GENERATED}/changelog.gz)
  foreach(package IN ITEMS quorvane-cli quorvane)
    if(package STREQUAL "quorvane")
      set(component gui)
    else()
      set(component cli)
    endif()
    install(FILES ${CMAKE_SOURCE_DIR}/README.md ${QUORVANE_PACKAGING}/copyright ${QUORVANE_GENERATED}/changelog.gz
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endforeach()

  install(FILES ${QUORVANE_PACKAGING}/quorvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)

  configure_file(${QUORVANE_PACKAGING}/org.quorvane.Quorvane.metainfo.xml.in
    ${QUORVANE_GENERATED}/org.quorvane.Quorvane.metainfo.xml @ONLY)
  install(FILES ${QUORVANE_GENERATED}/org.quorvane.Quorvane.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
    COMPONENT gui)
  install(FILES ${QUORVANE_PACKAGING}/screenshot.png DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane COMPONENT gui)

  foreach(size IN LISTS QUORVANE_ICON_SIZES)
    install(FILES ${QUORVANE_ICONS}/quorvane-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quorvane.png COMPONENT gui)
  endforeach()
  install(FILES ${QUORVANE_ICONS}/quorvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    COMPONENT gui)

  # Man pages, compressed as Debian keeps them.
  foreach(page quorvane quorvane-cli)
    configure_file(${QUORVANE_PACKAGING}/${page}.1.in ${QUORVANE_GENERATED}/${page}.1 @ONLY)
    quorvane_gzip(${QUORVANE_GENERATED}/${page}.1 ${QUORVANE_GENERATED}/${page}.1.gz)
  endforeach()
  install(FILES ${QUORVANE_GENERATED}/quorvane-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
  install(FILES ${QUORVANE_GENERATED}/quorvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT gui)
  add_custom_target(quorvane_packaging_files ALL DEPENDS ${QUORVANE_GZIPPED})
else()
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane
    COMPONENT cli)
endif()

set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "The Quorvane developers <developers@quorvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "LoTW upload and import for the DXbase log")
set(CPACK_PACKAGE_DESCRIPTION "Quorvane carries QSOs between the DXbase logging program's database and
ARRL's Logbook of The World, in both directions: upload through TQSL, marking
exactly the QSOs TQSL signed as sent; the LoTW QSL report fetched over HTTPS
and imported into the log; a check of which uploaded QSOs LoTW holds.
quorvane-cli runs the same operations without a window.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)

if(WIN32)
  # A Windows build: the window without a console, Qt's DLLs and plugins, SQLite and the
  # compiler's runtime beside the programs (windows/Deploy.cmake), an NSIS installer.
  set_target_properties(quorvane PROPERTIES WIN32_EXECUTABLE ON)
  include(${CMAKE_CURRENT_LIST_DIR}/windows/Deploy.cmake)
  set(CPACK_GENERATOR NSIS)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvane)
  set(CPACK_PACKAGE_EXECUTABLES quorvane Quorvane)
  set(CPACK_NSIS_DISPLAY_NAME "Quorvane ${PROJECT_VERSION}")
  set(CPACK_NSIS_PACKAGE_NAME Quorvane)
  set(CPACK_NSIS_INSTALLED_ICON_NAME ${CMAKE_INSTALL_BINDIR}/quorvane.exe)
  set(CPACK_NSIS_URL_INFO_ABOUT ${PROJECT_HOMEPAGE_URL})
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  # A 64-bit installer for 64-bit programs, into the 64-bit program folder. CMake 3.25's NSIS
  # script has no place of its own for NSIS's "Target", so it follows the compressor's line.
  set(CPACK_NSIS_COMPRESSOR "/SOLID lzma\n  Target amd64-unicode")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL cli gui)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # quorvane_<version>_<architecture>.deb, quorvane-cli_...
  set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The debug information goes into quorvane-dbgsym and quorvane-cli-dbgsym.
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
  set(CPACK_STRIP_FILES OFF)

  set(CPACK_DEBIAN_CLI_PACKAGE_NAME quorvane-cli)
  set(CPACK_DEBIAN_CLI_DESCRIPTION "LoTW upload and import for the DXbase log, without a window
quorvane-cli carries QSOs between the DXbase logging program's database and
ARRL's Logbook of The World, in both directions: it writes the QSOs due for
LoTW to an ADIF file, has TQSL sign it and marks exactly the QSOs TQSL signed
as sent; it fetches the LoTW QSL report over HTTPS, marks the reported QSOs
confirmed and fills zones, state, county, IOTA and grid. It needs no display.")
  # The libraries it links (the ODBC driver manager among them) are found by dpkg-shlibdeps.
  # What it starts: TQSL for signing, xdg-open for the browser.
  set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "trustedqsl, xdg-utils")

  set(CPACK_DEBIAN_GUI_PACKAGE_NAME quorvane)
  set(CPACK_DEBIAN_GUI_DESCRIPTION "LoTW upload and import for the DXbase log, in a window
Quorvane carries QSOs between the DXbase logging program's database and
ARRL's Logbook of The World, in both directions, in a window: upload through
TQSL, the LoTW QSL report fetched and imported into the log, and a check of
which uploaded QSOs LoTW holds. The same operations without a window are in
the package quorvane-cli.")
  set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "quorvane-cli (= ${PROJECT_VERSION}), qt6-qpa-plugins")
  set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "trustedqsl, xdg-utils")
endif()

include(CPack)
