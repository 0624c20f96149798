# cmake --install: the programs in bin/; the drivers, the platform libraries and the card
# daemon in a private lib/vexa/ (the help book installs itself from meter/app/help). Every
# path between them is relative ($ORIGIN in the RUNPATH), so the installed tree works under
# any prefix and after being moved.

set(VEXA_INSTALLED_PROGRAMS asiohost easihost regsvr meterprobe tx_ascp Vexameter)
# The platform library starts txvvd from its own folder and loads the GTK front-end from there
# too, so they all stay together.
set(VEXA_INSTALLED_PRIVATE vexaplatform vexaplatform_ui tx_va tx_ve txvvd)

set_target_properties(${VEXA_INSTALLED_PROGRAMS} PROPERTIES
  INSTALL_RPATH "\$ORIGIN/${VEXA_BIN_TO_PRIVATEDIR}")
set_target_properties(${VEXA_INSTALLED_PRIVATE} PROPERTIES INSTALL_RPATH "\$ORIGIN")

install(TARGETS ${VEXA_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${VEXA_INSTALLED_PRIVATE}
  RUNTIME DESTINATION ${VEXA_INSTALL_PRIVATEDIR}
  LIBRARY DESTINATION ${VEXA_INSTALL_PRIVATEDIR}
  NAMELINK_SKIP)

# txvvd is also started by hand (README); a relative link keeps one copy and survives a move.
file(RELATIVE_PATH VEXA_BIN_TO_TXVVD /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${VEXA_INSTALL_PRIVATEDIR}/txvvd)
install(CODE "
  set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/txvvd\")
  message(STATUS \"Installing: \${link} -> ${VEXA_BIN_TO_TXVVD}\")
  file(CREATE_LINK \"${VEXA_BIN_TO_TXVVD}\" \"\${link}\" SYMBOLIC)
")


# The meter's machine-wide settings file names the installed help book (help_index), relative
# to the program's folder so that a moved tree still finds it; the user's own file still wins.
# The meter reads it from the tree's own etc/xdg, and from /etc/xdg for a /usr install.
set(VEXA_MACHINE_SETTINGS ${CMAKE_BINARY_DIR}/install/Vexameter.conf)
file(WRITE ${VEXA_MACHINE_SETTINGS} "help_index=${VEXA_BIN_TO_HELPDIR}/vexameter.hhp\n")
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(VEXA_MACHINE_SETTINGS_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/Tarvenix)
else()
  set(VEXA_MACHINE_SETTINGS_DIR ${CMAKE_INSTALL_SYSCONFDIR}/xdg/Tarvenix)
endif()
install(FILES ${VEXA_MACHINE_SETTINGS} DESTINATION ${VEXA_MACHINE_SETTINGS_DIR})
