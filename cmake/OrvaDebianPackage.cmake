# The Debian package, made by CPack from the build that is there already:
#   cpack --config <build>/CPackConfig.cmake -B <folder>
# Its files are the install component "deb", which a plain `cmake --install`
# leaves out (EXCLUDE_FROM_ALL), so the portable app folder stays as it is.
# The programs go into /usr/lib/orva with the app folder's layout; the orva
# command gives each user an app folder of their own that links to them.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_CROSSCOMPILING)
  return()
endif()

set(ORVA_DEB_MAINTAINER "ORVA developers <orva@example.org>")
set(deb_in ${PROJECT_SOURCE_DIR}/packaging/linux)
set(deb_out ${PROJECT_BINARY_DIR}/packaging/linux)
set(deb COMPONENT deb EXCLUDE_FROM_ALL)

install(TARGETS ORVA etipack RUNTIME DESTINATION lib/orva ${deb})
install(TARGETS chainlaunch RUNTIME DESTINATION lib/orva/${ORVA_INSTALL_EXTENSIONS_DIR} ${deb})
install(TARGETS packsetup RUNTIME DESTINATION lib/orva/${ORVA_INSTALL_INSTALLER_DIR} ${deb})
install(PROGRAMS ${deb_in}/orva.sh DESTINATION bin RENAME orva ${deb})
install(FILES ${deb_in}/orva.desktop ${deb_in}/orva-install.desktop DESTINATION share/applications ${deb})
install(FILES ${deb_in}/orva.xml DESTINATION share/mime/packages ${deb})
foreach(size IN LISTS ORVA_ICON_SIZES)
  install(FILES ${ORVA_ICON_DIR}/orva-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
          RENAME orva.png ${deb})
endforeach()
install(FILES ${ORVA_ICON_SVG} DESTINATION share/icons/hicolor/scalable/apps ${deb})
if(ORVA_BUILD_SAMPLES)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/samples/packs/ DESTINATION share/orva/Packs ${deb}
          FILES_MATCHING PATTERN "*.etipack")
endif()

# The licence's text from LICENSE, as a paragraph of the machine-readable
# copyright file: indented, its empty lines as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " ORVA_DEB_LICENCE_TEXT " ${licence}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
configure_file(${deb_in}/copyright.in ${deb_out}/copyright @ONLY)
# Compressed as Debian wants them: gzip -9, no name or time inside.
configure_file(${deb_in}/changelog.in ${deb_out}/changelog @ONLY)
configure_file(${deb_in}/orva.1 ${deb_out}/orva.1 @ONLY)
foreach(doc changelog orva.1)
  add_custom_command(OUTPUT ${deb_out}/${doc}.gz
    COMMAND sh -c "gzip -9n -c \"$1\" >\"$2\"" sh ${deb_out}/${doc} ${deb_out}/${doc}.gz
    DEPENDS ${deb_out}/${doc} VERBATIM)
endforeach()
add_custom_target(orva_deb_docs ALL DEPENDS ${deb_out}/changelog.gz ${deb_out}/orva.1.gz)
install(FILES ${deb_out}/copyright ${deb_out}/changelog.gz DESTINATION share/doc/orva ${deb})
install(FILES ${deb_out}/orva.1.gz DESTINATION share/man/man1 ${deb})

set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};ORVA;deb;/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_NAME orva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ORVA_DEB_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop host for small extension programs")
set(CPACK_PACKAGE_DESCRIPTION "ORVA keeps a handful of small watchers and handlers running on the desktop:
each listener extension runs until it notices something, then its control
program acts on it, and the pair starts over. Extensions are installed from
signed .etipack packs into an app folder of each user's own. The user
interface is in Simplified Chinese.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils) # the author's website, opened from the start-up notice
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
