# What `cmake --install` lays out under a prefix, the manual pages, and the
# Debian package (`make package`). Installed programs find their private
# libraries and the conduit in bin/../lib/norvelia (their RUNPATH, and
# hotsync's conduit lookup) and their catalogs in bin/../share/norvelia.

# A program added here is installed, gets a manual page and is checked by
# tests/install.
set(NORV_PROGRAMS hotsync handheld norvreg norvelia-service catalogc NvPassword NvConnexion)
set(NORV_LIBRARIES Quillio Lexmo NvServices PalmKit PlatformUi WinReg RecShelf Ferrylink Norv30)

install(TARGETS ${NORV_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The libraries find each other beside themselves.
set_target_properties(${NORV_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${NORV_LIBRARIES} LIBRARY DESTINATION ${NORV_PRIVATE_LIBDIR})
install(FILES share/norvelia/Lexmo.msg share/norvelia/LexmoUs.msg share/norvelia/defaults.reg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/norvelia)
# Sample content for the reference service, and the documents.
install(DIRECTORY service/samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/norvelia/samples)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES service/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME README.service.md)
install(FILES share/bash-completion/hotsync share/bash-completion/handheld share/bash-completion/norvreg
              share/bash-completion/_norvelia
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Manual pages from each program's --help.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(_desc_hotsync "the HotSync Manager: HotSync users and synchronizations through a conduit")
  set(_desc_handheld "create, list, dump, import and export the databases of a handheld directory")
  set(_desc_norvreg "read and write the Norvelia settings store")
  set(_desc_norvelia-service "reference Norvelia service for the demo and the tests")
  set(_desc_catalogc "build catalog, list and user-context databases from JSON")
  set(_desc_NvPassword "Norvelia settings: logins, passwords, connection and servers")
  set(_desc_NvConnexion "check that this computer reaches the Norvelia server")
  set(_pages)
  foreach(prog ${NORV_PROGRAMS})
    set(_page ${CMAKE_BINARY_DIR}/man/${prog}.1)
    # --version-string: the page does not depend on each program's --version.
    add_custom_command(OUTPUT ${_page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              ${HELP2MAN} --no-info --no-discard-stderr --section=1
              --version-string=${PROJECT_VERSION} --name=${_desc_${prog}} --output=${_page}
              $<TARGET_FILE:${prog}>
      DEPENDS ${prog}
      COMMENT "Manual page of ${prog}"
      VERBATIM)
    list(APPEND _pages ${_page})
  endforeach()
  add_custom_target(manpages ALL DEPENDS ${_pages})
  install(FILES ${_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found (scripts/bootstrap installs it): no manual pages")
endif()

# The Debian package of that tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvelia)
set(CPACK_PACKAGE_VENDOR "Norvelia")
set(CPACK_PACKAGE_CONTACT "Norvelia developers <dev@norvelia.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Palm OS handheld conduit and tools for the Norvelia shopping service")
set(CPACK_PACKAGE_DESCRIPTION "The Norv30 HotSync conduit, the hotsync, handheld, norvreg, catalogc and \
norvelia-service tools, and the NvPassword and NvConnexion settings programs.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The dependencies from the libraries the programs link against; our own
# libraries are in the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, sqlite3")
include(CPack)
