# Installation (cmake --install) and packages (cpack): the two programs, the desktop entry, the
# program icon, the AppStream metainfo, the man pages, the README and the licence. On Debian
# `./run package` builds quorvane_<version>_amd64.deb; on Windows the same rules, with Qt's
# deployment tool, feed an NSIS installer.

include(GNUInstallDirs)

# The date of this version, shown in the man pages and the metainfo's release.
set(QUORVANE_RELEASE_DATE 2026-12-07)
set(QUORVANE_PACKAGING ${CMAKE_CURRENT_LIST_DIR})
set(QUORVANE_GENERATED ${CMAKE_BINARY_DIR}/packaging)
set(QUORVANE_ICONS ${CMAKE_SOURCE_DIR}/src/app/icons)
set(QUORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)

install(TARGETS quorvane quorvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane)

if(NOT WIN32)
  install(FILES ${QUORVANE_PACKAGING}/quorvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  configure_file(${QUORVANE_PACKAGING}/org.quorvane.Quorvane.metainfo.xml.in
    ${QUORVANE_GENERATED}/org.quorvane.Quorvane.metainfo.xml @ONLY)
  install(FILES ${QUORVANE_GENERATED}/org.quorvane.Quorvane.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  foreach(size IN LISTS QUORVANE_ICON_SIZES)
    install(FILES ${QUORVANE_ICONS}/quorvane-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quorvane.png)
  endforeach()
  install(FILES ${QUORVANE_ICONS}/quorvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # Man pages are installed compressed, as Debian keeps them; CMake compresses them itself.
  foreach(page quorvane quorvane-cli)
    configure_file(${QUORVANE_PACKAGING}/${page}.1.in ${QUORVANE_GENERATED}/${page}.1 @ONLY)
    file(ARCHIVE_CREATE OUTPUT ${QUORVANE_GENERATED}/${page}.1.gz PATHS ${QUORVANE_GENERATED}/${page}.1
      FORMAT raw COMPRESSION GZip MTIME 0)
    install(FILES ${QUORVANE_GENERATED}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
endif()

set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "The Quorvane developers <developers@quorvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "LoTW upload and import for the DXbase log")
set(CPACK_PACKAGE_DESCRIPTION "Quorvane carries QSOs between the DXbase logging program's database and
ARRL's Logbook of The World, in both directions, through files and the
operator's own browser. Upload marks the due QSOs as sent, writes them to an
ADIF file and hands it to TQSL for signing; import reads the LoTW QSL report,
marks the reported QSOs confirmed and fills zones, state, county, IOTA and
grid. quorvane-cli runs the same operations without a window.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # A Windows build: the window without a console, Qt's DLLs, platform plugin and SQL drivers
  # (QODBC for the Access log) copied beside the programs by windeployqt, an NSIS installer.
  set_target_properties(quorvane PROPERTIES WIN32_EXECUTABLE ON)
  if(TARGET Qt6::windeployqt)
    install(CODE "execute_process(COMMAND \"$<TARGET_FILE:Qt6::windeployqt>\" --no-translations
      --compiler-runtime \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quorvane.exe\"
      \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quorvane-cli.exe\" COMMAND_ERROR_IS_FATAL ANY)")
  else()
    message(WARNING "windeployqt not found: the installed programs will lack Qt's DLLs")
  endif()
  set(CPACK_GENERATOR NSIS)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvane)
  set(CPACK_PACKAGE_EXECUTABLES quorvane Quorvane)
  set(CPACK_NSIS_DISPLAY_NAME "Quorvane ${PROJECT_VERSION}")
  set(CPACK_NSIS_PACKAGE_NAME Quorvane)
  set(CPACK_NSIS_INSTALLED_ICON_NAME ${CMAKE_INSTALL_BINDIR}/quorvane.exe)
  set(CPACK_NSIS_URL_INFO_ABOUT ${PROJECT_HOMEPAGE_URL})
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # quorvane_<version>_<architecture>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
  # The libraries the programs link (Qt Core, Gui, Widgets, Sql, SQLite, the C++ run time) are
  # found by dpkg-shlibdeps; what is loaded at run time is named here: the ODBC driver manager
  # and Qt's ODBC plugin for logs reached through ODBC, and Qt's platform plugins for the window.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-odbc, libodbc2, qt6-qpa-plugins")
  # xdg-open starts the browser and the file viewer.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "trustedqsl, xdg-utils")
endif()

include(CPack)
