# What `cmake --install` lays out under a prefix, the manual pages, and the
# Debian package (`make package`). Installed programs find their private
# libraries and the conduit in bin/../lib/norvelia (their RUNPATH, and
# hotsync's conduit lookup) and their catalogs in bin/../share/norvelia.

# A program added here is installed, gets a manual page (it needs
# share/man/<program>.h2m) and is checked by tests/install.
set(NORV_PROGRAMS hotsync handheld norvreg norvelia-service catalogc NvPassword NvConnexion hotsync-gui)
set(NORV_LIBRARIES Quillio Lexmo NvServices PalmKit PlatformUi WinReg RecShelf Ferrylink Norv30)

install(TARGETS ${NORV_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The libraries find each other beside themselves.
set_target_properties(${NORV_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${NORV_LIBRARIES} LIBRARY DESTINATION ${NORV_PRIVATE_LIBDIR})
# The Qt host that hotsync loads only when a display is there.
set_target_properties(NorvQtHost PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS NorvQtHost LIBRARY DESTINATION ${NORV_PRIVATE_LIBDIR})
install(FILES share/norvelia/Lexmo.msg share/norvelia/LexmoUs.msg share/norvelia/defaults.reg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/norvelia)
# The settings program's menu entry (those of hotsync-gui and NvConnexion are
# installed beside their sources).
install(FILES share/applications/nvpassword.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES share/icons/nvpassword.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES share/icons/nvpassword.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
# Sample content for the reference service, and the documents.
install(DIRECTORY service/samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/norvelia/samples)
install(FILES share/doc/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The READMEs as the installed tree reads them: its paths, not the source
# tree's (scripts/installed-readme), written once the prefix is known.
function(norv_install_readme source installed)
  install(CODE "execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/installed-readme \${CMAKE_INSTALL_PREFIX}
                  INPUT_FILE ${CMAKE_SOURCE_DIR}/${source} OUTPUT_FILE ${CMAKE_BINARY_DIR}/doc/${installed}
                  COMMAND_ERROR_IS_FATAL ANY)")
  install(FILES ${CMAKE_BINARY_DIR}/doc/${installed} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endfunction()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/doc)
norv_install_readme(README.md README.md)
norv_install_readme(service/README.md README.service.md)
install(FILES share/bash-completion/hotsync share/bash-completion/handheld share/bash-completion/norvreg
              share/bash-completion/_norvelia
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Manual pages, in build/man/ and gzipped for the install: section 1 made by
# scripts/manpage from each program's --help and share/man/<program>.h2m,
# section 5 written in share/man/.
set(NORV_MANPAGES_5 norvelia-settings hotsync-log)
find_program(HELP2MAN help2man)
find_program(GZIP gzip REQUIRED)
set(_man ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${_man})
set(_pages)
set(_man1)
set(_man5)
if(HELP2MAN)
  foreach(prog ${NORV_PROGRAMS})
    set(_page ${_man}/${prog}.1)
    add_custom_command(OUTPUT ${_page} ${_page}.gz
      COMMAND ${CMAKE_SOURCE_DIR}/scripts/manpage $<TARGET_FILE:${prog}>
              ${CMAKE_SOURCE_DIR}/share/man/${prog}.h2m ${PROJECT_VERSION} ${_page}
      COMMAND ${GZIP} -9nkf ${_page}
      DEPENDS ${prog} ${CMAKE_SOURCE_DIR}/scripts/manpage ${CMAKE_SOURCE_DIR}/share/man/${prog}.h2m
      COMMENT "Manual page of ${prog}"
      VERBATIM)
    list(APPEND _pages ${_page} ${_page}.gz)
    list(APPEND _man1 ${_page}.gz)
  endforeach()
else()
  message(WARNING "help2man not found (scripts/bootstrap installs it): no manual pages of the programs")
endif()
foreach(page ${NORV_MANPAGES_5})
  set(_page ${_man}/${page}.5)
  add_custom_command(OUTPUT ${_page} ${_page}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/share/man/${page}.5 ${_page}
    COMMAND ${GZIP} -9nkf ${_page}
    DEPENDS ${CMAKE_SOURCE_DIR}/share/man/${page}.5
    VERBATIM)
  list(APPEND _pages ${_page} ${_page}.gz)
  list(APPEND _man5 ${_page}.gz)
endforeach()
add_custom_target(manpages ALL DEPENDS ${_pages})
install(FILES ${_man1} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_man5} DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)

# The changelog of the package, gzipped as Debian policy wants it; its newest
# entry is this version.
file(STRINGS share/doc/changelog _changelog_head LIMIT_COUNT 1)
if(NOT _changelog_head MATCHES "^norvelia \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "share/doc/changelog does not start with an entry for ${PROJECT_VERSION}: add one")
endif()
set(_changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND ${GZIP} -9nc ${CMAKE_SOURCE_DIR}/share/doc/changelog > ${_changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/share/doc/changelog)
add_custom_target(changelog ALL DEPENDS ${_changelog})
install(FILES ${_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package of that tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvelia)
set(CPACK_PACKAGE_VENDOR "Norvelia")
set(CPACK_PACKAGE_CONTACT "Norvelia developers <dev@norvelia.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Palm OS handheld conduit and tools for the Norvelia shopping service")
# Lines of at most 80 characters, as the package's description is shown.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Synchronizes a Palm OS handheld, kept as a folder of Palm database files,"
  "with the Norvelia shopping and content service: catalogs, shopping lists"
  "and their orders, game scores and new versions of the handheld application."
  ""
  "The package holds the Norv30 HotSync conduit and the programs around it:"
  "hotsync (HotSync users and synchronizations), handheld (the databases of a"
  "handheld folder), norvreg (the settings store), catalogc (databases from"
  "JSON), norvelia-service (a reference service for trying it out), and the"
  "NvPassword and NvConnexion windows (logins, servers, connection test).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The dependencies from the libraries the programs link against; our own
# libraries are in the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
# Qt's GUI library only recommends the platform plugins, without which the
# windows cannot open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, sqlite3")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
