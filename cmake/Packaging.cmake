# Installing and packaging: `cmake --install` lays the program out where a
# desktop finds it, and CPack builds a Debian package of the same tree.
include(GNUInstallDirs)

set(WREN_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/wrenlocator)
set(WREN_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/wrenlocator)
set(WREN_APP_ID example.pelmark.Wrenlocator)

install(TARGETS wrenlocator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES res/wrenlocator.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES res/${WREN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES res/icons/wrenlocator.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY res/icons/hicolor/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# The help page and the alarm sounds, where the installed program looks.
foreach(folder help sounds)
  if(EXISTS ${PROJECT_SOURCE_DIR}/res/${folder})
    install(DIRECTORY res/${folder}/ DESTINATION ${WREN_SHARE_DIR}/${folder})
  endif()
endforeach()

# Manual page and Debian changelog, compressed as Debian wants them.
find_program(WREN_GZIP gzip REQUIRED)
set(WREN_MAN_GZ ${PROJECT_BINARY_DIR}/wrenlocator.1.gz)
set(WREN_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${WREN_MAN_GZ}
  COMMAND ${WREN_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/wrenlocator.1 > ${WREN_MAN_GZ}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/wrenlocator.1 VERBATIM)
add_custom_command(OUTPUT ${WREN_CHANGELOG_GZ}
  COMMAND ${WREN_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/res/debian/changelog > ${WREN_CHANGELOG_GZ}
  DEPENDS ${PROJECT_SOURCE_DIR}/res/debian/changelog VERBATIM)
add_custom_target(wren_install_docs ALL DEPENDS ${WREN_MAN_GZ} ${WREN_CHANGELOG_GZ})
install(FILES ${WREN_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES res/debian/copyright ${WREN_CHANGELOG_GZ} DESTINATION ${WREN_DOC_DIR})
install(FILES res/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME wrenlocator)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wrenlocator)
set(CPACK_PACKAGE_VENDOR "Pelmark LLC.")
set(CPACK_PACKAGE_CONTACT "Pelmark LLC. <support@pelmark.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor and audit the Bluetooth devices around a workstation")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Wrenlocator lists every local Bluetooth radio and every remote device the
system's Bluetooth stack reports, with name, device class, producer, the
times it was last seen and last used, and its connection, pairing and
authentication state. Device events become time-stamped lines in a session
alarm log, with an optional sound; every device ever seen is kept in a
history file; the list can be copied, saved as a text or XML report and
printed.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.pelmark.example/wrenlocator/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# BlueZ is what it watches; libbluetooth is loaded when present, for
# service records; the media backend plays the alarm sounds.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bluez, libbluetooth3, gstreamer1.0-plugins-good")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
