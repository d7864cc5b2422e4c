# What `cmake --install` puts under the prefix, and the Debian package that CPack makes of it
# (`cpack -G DEB` in the build folder).

# The delivered empty database, made afresh for the installed tree: never the Vantrel.vt beside
# the built program, which may hold the developer's own people.
set(VANTREL_TEMPLATE ${CMAKE_BINARY_DIR}/template/Vantrel.vt)
add_custom_command(OUTPUT ${VANTREL_TEMPLATE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/template
  COMMAND ${CMAKE_COMMAND} -E rm -f ${VANTREL_TEMPLATE}
  COMMAND vantrel-makedb ${VANTREL_TEMPLATE}
  DEPENDS vantrel-makedb
  COMMENT "Making the empty database that an installed Vantrel copies for each user"
  VERBATIM)
# Manual pages are installed compressed, as the system's own are.
set(VANTREL_MAN_PAGE ${CMAKE_BINARY_DIR}/man/vantrel.1.gz)
add_custom_command(OUTPUT ${VANTREL_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${CMAKE_SOURCE_DIR}/resources/man/vantrel.1 ${VANTREL_MAN_PAGE}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/man/vantrel.1
  VERBATIM)
add_custom_target(vantrel-install-files ALL DEPENDS ${VANTREL_TEMPLATE} ${VANTREL_MAN_PAGE})

install(TARGETS vantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY resources/help/ DESTINATION ${VANTREL_SHARE_DIR}/help)
install(FILES ${VANTREL_TEMPLATE} DESTINATION ${VANTREL_SHARE_DIR})
install(FILES resources/desktop/${VANTREL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/desktop/${VANTREL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size ${APP_ICON_SIZES})
  install(FILES resources/app-icon/vantrel-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${VANTREL_APP_ID}.png)
endforeach()
install(FILES resources/app-icon/vantrel.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${VANTREL_APP_ID}.svg)
install(FILES ${VANTREL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES resources/desktop/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantrel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_CONTACT "The Vantrel developers <developers@vantrel.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.vantrel.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "people, selling tactics and follow-ups for salespeople")
set(CPACK_PACKAGE_DESCRIPTION "Vantrel keeps the people a salesperson deals with, prospects and customers,
with a rich profile of each. It offers a search by name, a personality
questionnaire that yields selling tactics, a filter screen, birthday and
anniversary reminders, a log of follow-up activities, and import and export
of CSV and vCard files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries it links are found by dpkg-shlibdeps, so a library that a later change links is
# in the list without anyone writing it here; what the program loads at run time is named here:
# the display plugins and the font its windows are laid out for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
# Web and e-mail addresses go to the desktop's programs through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
