# cpack -G DEB (in build/): the installed tree under /usr as an i386 package, its library
# dependencies computed by dpkg-shlibdeps. No maintainer scripts: registering the ASIO driver
# is the user's step (regsvr), as the registry is per user here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexa)
set(CPACK_PACKAGE_VENDOR Tarvenix)
set(CPACK_PACKAGE_CONTACT "Tarvenix <vexa@tarvenix.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "drivers, panel and meter of the Vexa PCI audio card")
set(CPACK_PACKAGE_DESCRIPTION "The ASIO driver tx_va, the EASI driver tx_ve, the buffer-size
 panel tx_ascp and the meter Vexa-o-meter, on a Win32 platform layer, with
 txvvd, a simulated Vexa card, and host tools to drive them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The meter's machine-wide settings go to /etc, outside the prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps resolves our own libraries in the private folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# The meter's machine-wide settings are the administrator's to change.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/package/conffiles)

set(package_doc ${CMAKE_BINARY_DIR}/package)
add_custom_command(OUTPUT ${package_doc}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_doc}
  COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip ${PROJECT_SOURCE_DIR}/cmake/package/changelog
          ${package_doc}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/package/changelog
  VERBATIM)
add_custom_target(vexa_package_doc ALL DEPENDS ${package_doc}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/package/copyright ${package_doc}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vexa)
include(CPack)
