# Installing the programs as Debian packages (scripts/package builds them):
#   tessaro          the station, the archive browser, the receiver library,
#                    the idle movie and the demo track, desktop entries, icon
#   tessaro-gateway  the gateway, its systemd unit and its default settings
#   tessaro-tools    the simulated recorder and the receiver's listener
# The library lies in /usr/lib/tessaro, found through an RPATH relative to
# the program ($ORIGIN/../lib/tessaro), so that an unpacked tree runs where it
# lies. Dependencies are worked out by dpkg-shlibdeps.
set(PACKAGE_LIBRARY_DIR lib/tessaro)
set(PACKAGE_SHARE_DIR share/tessaro)
set(PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

set_target_properties(Tessaro PROPERTIES INSTALL_RPATH "$ORIGIN:$ORIGIN/../${PACKAGE_LIBRARY_DIR}")
set_target_properties(tessaro-gateway PROPERTIES INSTALL_RPATH "$ORIGIN/../${PACKAGE_LIBRARY_DIR}")

install(TARGETS Tessaro TessaroArchive RUNTIME DESTINATION bin COMPONENT station)
install(TARGETS Kavrel LIBRARY DESTINATION ${PACKAGE_LIBRARY_DIR} COMPONENT station
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/nopicture.mov
              ${CMAKE_SOURCE_DIR}/monitor/app/data/Track1.txt
  DESTINATION ${PACKAGE_SHARE_DIR} COMPONENT station)
install(FILES ${PACKAGING_DIR}/tessaro.desktop ${PACKAGING_DIR}/tessaro-archive.desktop
  DESTINATION share/applications COMPONENT station)
install(FILES ${PACKAGING_DIR}/tessaro.svg
  DESTINATION share/icons/hicolor/scalable/apps COMPONENT station)

install(TARGETS tessaro-gateway RUNTIME DESTINATION bin COMPONENT gateway)
install(FILES ${PACKAGING_DIR}/tessaro-gateway.service
  DESTINATION lib/systemd/system COMPONENT gateway)
install(FILES ${PACKAGING_DIR}/tessaro-gateway.default
  DESTINATION /etc/tessaro RENAME tessaro-gateway COMPONENT gateway)
install(FILES ${PACKAGING_DIR}/tessaro-gateway.ini
  DESTINATION /etc/tessaro RENAME tessaro.ini COMPONENT gateway)

install(TARGETS recorder-sim RUNTIME DESTINATION bin COMPONENT tools)
if(TARGET kavrel-listen)
  set_target_properties(kavrel-listen PROPERTIES INSTALL_RPATH "$ORIGIN/../${PACKAGE_LIBRARY_DIR}")
  install(TARGETS kavrel-listen RUNTIME DESTINATION bin COMPONENT tools)
endif()

# Each package's manual pages, copyright and changelog (gzipped, as Debian wants).
set(_pages_station Tessaro TessaroArchive)
set(_pages_gateway tessaro-gateway)
set(_pages_tools recorder-sim kavrel-listen)
set(_packages_station tessaro)
set(_packages_gateway tessaro-gateway)
set(_packages_tools tessaro-tools)
foreach(component station gateway tools)
  foreach(page ${_pages_${component}})
    set(_gz ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz)
    add_custom_command(OUTPUT ${_gz}
      COMMAND gzip -9n -c ${PACKAGING_DIR}/${page}.1 > ${_gz}
      DEPENDS ${PACKAGING_DIR}/${page}.1 VERBATIM)
    list(APPEND _package_files ${_gz})
    install(FILES ${_gz} DESTINATION share/man/man1 COMPONENT ${component})
  endforeach()
  set(_doc share/doc/${_packages_${component}})
  install(FILES ${PACKAGING_DIR}/copyright DESTINATION ${_doc} COMPONENT ${component})
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION ${_doc}
    COMPONENT ${component})
endforeach()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  COMMAND gzip -9n -c ${PACKAGING_DIR}/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  DEPENDS ${PACKAGING_DIR}/changelog VERBATIM)
list(APPEND _package_files ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_target(package_files ALL DEPENDS ${_package_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Station team <station@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL station gateway tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/tessaro")
set(CPACK_DEBIAN_STATION_PACKAGE_NAME tessaro)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_NAME tessaro-gateway)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tessaro-tools)
set(CPACK_DEBIAN_STATION_PACKAGE_SECTION video)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_SECTION net)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
# The first line is the summary; CPack indents the lines after it.
set(CPACK_COMPONENT_STATION_DESCRIPTION
  "monitoring station for vehicle video recorders\nThe station receives the recorders' positions, events and clips, archives\nthem and shows them; the archive browser replays and exports the archive.")
set(CPACK_COMPONENT_GATEWAY_DESCRIPTION
  "receiving gateway for vehicle video recorders, without a window\nThe gateway receives and archives the recorders' data and publishes it to a\nfleet's MQTT broker; a systemd unit runs it as a service.")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "test tools for the vehicle video recorder station\nA simulated recorder that calls a station or gateway, and a listener that\nprints what the receiver library delivers.")
# The gateway and the listener load the receiver library of the station's package.
set(_same_version "tessaro (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")
set(CPACK_DEBIAN_GATEWAY_PACKAGE_DEPENDS "${_same_version}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${_same_version}")
set(CPACK_DEBIAN_GATEWAY_PACKAGE_CONTROL_EXTRA ${PACKAGING_DIR}/conffiles)
include(CPack)
