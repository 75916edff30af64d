# Install rules and the Debian package (cpack -G DEB).
#
#   cmake --install build [--prefix DIR]    DIR/sbin/snmpd, the manual page, the unit and
#                                           the environment file (default prefix /usr/local)
#   (cd build && cpack -G DEB)              the package, installing under /usr
#
# The unit names the installed binary and environment file, so it is written at install
# time, when the prefix is final (cmake --install --prefix, or CPack's /usr).

include(GNUInstallDirs)

set(SNMPD_VERSION 1.0.0)
# Debian's own snmpd package is another agent with the same file names: this one conflicts
# with it, and its package and environment file take other names (that package's
# /etc/default/snmpd would otherwise become ours).
set(SNMPD_PACKAGE snmpd-embedded)

get_filename_component(SNMPD_DIST_DIR ${CMAKE_CURRENT_LIST_DIR}/../dist ABSOLUTE)
set(SNMPD_STAGE_DIR ${CMAKE_BINARY_DIR}/dist)

# Linked as Debian links its daemons: the GOT read-only after start-up.
target_link_options(snmpd PRIVATE -Wl,-z,relro -Wl,-z,now)
install(TARGETS snmpd RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(FILES ${SNMPD_DIST_DIR}/snmpd.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${SNMPD_DIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${SNMPD_PACKAGE})
install(CODE "
  set(SNMPD_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  # Under /usr the configuration lives in /etc and the unit in /lib/systemd/system, as
  # Debian 12 has them: dpkg, unaware of the merged /usr, would otherwise let the removal
  # of the replaced package's /lib/systemd/system/snmpd.service delete our unit.
  if(SNMPD_PREFIX STREQUAL \"/usr\")
    set(SNMPD_SYSCONF_DIR /etc)
    set(SNMPD_UNIT_DIR /lib/systemd/system)
  else()
    set(SNMPD_SYSCONF_DIR \"\${SNMPD_PREFIX}/${CMAKE_INSTALL_SYSCONFDIR}\")
    set(SNMPD_UNIT_DIR \"\${SNMPD_PREFIX}/lib/systemd/system\")
  endif()
  set(SNMPD_SBIN_DIR \"\${SNMPD_PREFIX}/${CMAKE_INSTALL_SBINDIR}\")
  set(SNMPD_ENV_FILE \"\${SNMPD_SYSCONF_DIR}/default/${SNMPD_PACKAGE}\")
  configure_file(\"${SNMPD_DIST_DIR}/snmpd.service.in\" \"${SNMPD_STAGE_DIR}/snmpd.service\" @ONLY)
  file(INSTALL \"${SNMPD_STAGE_DIR}/snmpd.service\" DESTINATION \"\${SNMPD_UNIT_DIR}\")
  file(INSTALL \"${SNMPD_DIST_DIR}/snmpd.default\" DESTINATION \"\${SNMPD_SYSCONF_DIR}/default\"
       RENAME ${SNMPD_PACKAGE})
")

# The package.
set(CPACK_PACKAGE_NAME ${SNMPD_PACKAGE})
set(CPACK_PACKAGE_VERSION ${SNMPD_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora Inc., Embedded Computing Business")
set(SNMPD_MAINTAINER "snmpd maintainers <snmpd@example.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_CONTACT ${SNMPD_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small SNMP version 1 agent for embedded Linux computers")
set(CPACK_PACKAGE_DESCRIPTION
    "The agent answers SNMPv1 GetRequest, GetNextRequest and SetRequest
messages over UDP/IPv4 with one read-write community. It serves the
MIB-II groups of RFC 1213, read live from /proc and from interface
queries, and the RS-232-like MIB of RFC 1659 for a multiport serial
board. Nothing is persisted.
.
It conflicts with Debian's snmpd package, another agent that installs
the same files (/usr/sbin/snmpd, snmpd.service).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONFLICTS snmpd)
set(CPACK_DEBIAN_PACKAGE_REPLACES snmpd)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
configure_file(${SNMPD_DIST_DIR}/debian/conffiles.in ${SNMPD_STAGE_DIR}/debian/conffiles @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${SNMPD_STAGE_DIR}/debian/conffiles ${SNMPD_DIST_DIR}/debian/postinst
    ${SNMPD_DIST_DIR}/debian/prerm ${SNMPD_DIST_DIR}/debian/postrm)
# Debian wants the manual page and the changelog compressed, and the binary without the
# sections that plain stripping leaves; a plain install keeps them as they are.
configure_file(${SNMPD_DIST_DIR}/debian/changelog.in ${SNMPD_STAGE_DIR}/debian/changelog @ONLY)
# (CPack hands its scripts only the CPACK_ variables.)
set(CPACK_SNMPD_DOC_DIR ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_DATAROOTDIR}/doc/${SNMPD_PACKAGE})
set(CPACK_SNMPD_MAN_DIR ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man8)
set(CPACK_SNMPD_CHANGELOG ${SNMPD_STAGE_DIR}/debian/changelog)
set(CPACK_SNMPD_BINARY ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_SBINDIR}/snmpd)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb-stage.cmake)
include(CPack)
