# Installation and the Debian packages.
#
#   quillora       the desktop client and varnel-call, the menu entry, icons
#   varnel-server  the community server, its service unit, configuration and
#                  log rotation
#
#   cmake --build BUILD --target package     (or: bash scripts/package.sh OUTDIR)
include(GNUInstallDirs)

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(QUILLORA_APP_ID org.kestova.Quillora)

# --- client ---------------------------------------------------------------
if(QUILLORA_BUILD_GUI)
  install(TARGETS quillora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT client)
  install(FILES ${_pkg}/desktop/${QUILLORA_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT client)
  install(FILES ${_pkg}/desktop/${QUILLORA_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT client)
  foreach(_size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/src/ui/resources/images/app/quillora-${_size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
      RENAME ${QUILLORA_APP_ID}.png COMPONENT client)
  endforeach()
endif()
install(TARGETS varnel-call RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT client)

# --- server ---------------------------------------------------------------
install(TARGETS varnel-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
# Packages install the unit beside the system's own units (/usr/lib/systemd).
set(QUILLORA_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING "Where the service unit is installed, below the prefix")
install(FILES ${_pkg}/systemd/varnel-server.service DESTINATION ${QUILLORA_SYSTEMD_UNIT_DIR} COMPONENT server)
install(FILES ${_pkg}/varnel-server.conf DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/varnel-server COMPONENT server)
install(FILES ${_pkg}/varnel-server.logrotate DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/logrotate.d
  RENAME varnel-server COMPONENT server)

# --- manual pages, copyright and changelog (what Debian asks of every package)
foreach(_component client server)
  if(_component STREQUAL client)
    set(_deb quillora)
    set(_pages quillora.1 varnel-call.1)
  else()
    set(_deb varnel-server)
    set(_pages varnel-server.1)
  endif()
  foreach(_page ${_pages})
    set(_gz ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_page}.gz)
    add_custom_command(OUTPUT ${_gz}
      COMMAND ${CMAKE_COMMAND} -E copy ${_pkg}/man/${_page} ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_page}
      COMMAND gzip -9 -n -f ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_page}
      DEPENDS ${_pkg}/man/${_page} VERBATIM)
    list(APPEND _compressed ${_gz})
    install(FILES ${_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${_component})
  endforeach()
  set(_changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_deb}/changelog.Debian.gz)
  configure_file(${_pkg}/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_deb}/changelog.Debian @ONLY)
  add_custom_command(OUTPUT ${_changelog}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_deb}/changelog.Debian
      ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_deb}/changelog.Debian.tmp
    COMMAND gzip -9 -n -f ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_deb}/changelog.Debian.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_deb}/changelog.Debian.tmp.gz ${_changelog}
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/packaging/${_deb}/changelog.Debian VERBATIM)
  list(APPEND _compressed ${_changelog})
  install(FILES ${_changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_deb} COMPONENT ${_component})
  install(FILES ${_pkg}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_deb} COMPONENT ${_component})
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${_compressed})

# --- CPack ----------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillora)
set(CPACK_PACKAGE_VENDOR "Kestova")
set(CPACK_PACKAGE_CONTACT "Quillora maintainers <quillora@kestova.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL client server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kestova.org/quillora")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME quillora)
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "desktop client of the Quillora expert community
Quillora signs a member in to the community's server and shows its four
zones. Members list and read questions, ask questions with a reward of
points, post solutions, exchange short messages and see which experts are
online.
.
This package also carries varnel-call, which calls any operation of the
community's SOAP service from the shell.")
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION net)
# Wayland and the desktop theme come as plugins the binaries do not name.
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS "qt6-qpa-plugins")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME varnel-server)
set(CPACK_COMPONENT_SERVER_DESCRIPTION "community server for the Quillora client
varnel-server serves the community's SOAP web service and its web site
(question pages, help and download pages, head images) from one process and
one SQLite database. It runs as a hardened systemd service with a dynamic
user, reads /etc/varnel-server/varnel-server.conf and logs each request.")
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_PACKAGE_RECOMMENDS "logrotate")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
  ${_pkg}/debian/varnel-server/conffiles
  ${_pkg}/debian/varnel-server/postinst
  ${_pkg}/debian/varnel-server/prerm
  ${_pkg}/debian/varnel-server/postrm)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
