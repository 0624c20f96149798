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
# Decided when installing, as the prefix may be given only then (cmake --install --prefix, the
# package's /usr).
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(dir /etc/xdg/Tarvenix)
  else()
    set(dir \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SYSCONFDIR}/xdg/Tarvenix)
  endif()
  file(INSTALL DESTINATION \${dir} TYPE FILE FILES \"${VEXA_MACHINE_SETTINGS}\")
")

# Manual pages, one source each: help2man over a program's --help with the sections of
# docs/man/<program>.h2m, or the hand-written docs/man/<program>.1 of a program without options.
find_program(VEXA_HELP2MAN help2man REQUIRED)
set(man_dir ${CMAKE_BINARY_DIR}/man)
set(man_pages "")
foreach(program txvvd asiohost easihost regsvr meterprobe)
  set(sections ${PROJECT_SOURCE_DIR}/docs/man/${program}.h2m)
  add_custom_command(OUTPUT ${man_dir}/${program}.1
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    COMMAND ${VEXA_HELP2MAN} --no-info --no-discard-stderr
            --version-string=${PROJECT_VERSION} --include=${sections}
            --output=${man_dir}/${program}.1 $<TARGET_FILE:${program}>
    DEPENDS ${program} ${sections}
    VERBATIM)
  list(APPEND man_pages ${man_dir}/${program}.1)
endforeach()
list(APPEND man_pages ${PROJECT_SOURCE_DIR}/docs/man/tx_ascp.1 ${PROJECT_SOURCE_DIR}/docs/man/Vexameter.1)
# Installed compressed, as man reads them and Debian wants them.
set(man_archives "")
foreach(page ${man_pages})
  get_filename_component(name ${page} NAME)
  add_custom_command(OUTPUT ${man_dir}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip ${page} ${man_dir}/${name}.gz
    DEPENDS ${page}
    VERBATIM)
  list(APPEND man_archives ${man_dir}/${name}.gz)
endforeach()
add_custom_target(vexa_man_pages ALL DEPENDS ${man_archives})
install(FILES ${man_archives} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
