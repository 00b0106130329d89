# Debian packages (cpack -G DEB in the build folder; tools/check-packages.sh):
#
#   trd-server  the server, trd-check and trd-exchange in /usr/lib/trd-server,
#               linked from /usr/bin; the systemd unit; /etc/trd/trd-server.conf
#               (a conffile); the system user trd and /var/lib/trd made by postinst
#   trd-client  the host, the module package, its libraries and the reports in
#               /usr/lib/trd-client, linked from /usr/bin; a .desktop entry and an icon
#
# Each package keeps its private libraries beside its programs (RUNPATH
# $ORIGIN/../lib), so the two never ship the same file and either installs alone.
set(TRD_MAINTAINER "Equipe de Tradução <traducao@example.org>")
set(TRD_DEB_RELEASE 1)
set(TRD_DEB_VERSION "${PROJECT_VERSION}-${TRD_DEB_RELEASE}")
set(TRD_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(TRD_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

set(trd_server_programs trd-server trd-check trd-exchange)
set(trd_client_programs trd-client)
set(trd_client_libraries Pkg_Trd09300 trdplatform trdplatformui trdcontracts trdreport)

# $ORIGIN/../lib once installed; the build tree keeps its own path.
foreach(target ${trd_server_programs} ${trd_client_programs} ${trd_client_libraries})
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../lib;$ORIGIN")
  endif()
endforeach()

# The libraries a component's programs load, found from the link graph.
function(trd_install_component component prefix)
  cmake_parse_arguments(C "" "" "PROGRAMS;LIBRARIES" ${ARGN})
  foreach(program ${C_PROGRAMS})
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION ${prefix}/bin COMPONENT ${component})
      file(MAKE_DIRECTORY ${TRD_PACKAGING_OUT}/${component}-bin)
      file(CREATE_LINK ../${prefix}/bin/${program} ${TRD_PACKAGING_OUT}/${component}-bin/${program} SYMBOLIC)
      install(FILES ${TRD_PACKAGING_OUT}/${component}-bin/${program} DESTINATION bin COMPONENT ${component})
    endif()
  endforeach()
  foreach(library ${C_LIBRARIES})
    if(TARGET ${library})
      install(TARGETS ${library} LIBRARY DESTINATION ${prefix}/lib COMPONENT ${component})
    endif()
  endforeach()
endfunction()

trd_install_component(server lib/trd-server PROGRAMS ${trd_server_programs} LIBRARIES trdplatform)
trd_install_component(client lib/trd-client PROGRAMS ${trd_client_programs} LIBRARIES ${trd_client_libraries})

# The reports go beside the host, where it looks for them.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/report/relatorios/ DESTINATION lib/trd-client/bin/relatorios
        COMPONENT client FILES_MATCHING PATTERN "*.xml")
install(FILES ${TRD_PACKAGING_DIR}/trd-client.desktop DESTINATION share/applications COMPONENT client)
install(FILES ${TRD_PACKAGING_DIR}/trd-client.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT client)

install(FILES ${TRD_PACKAGING_DIR}/trd-server.service DESTINATION /lib/systemd/system COMPONENT server)
install(FILES ${TRD_PACKAGING_DIR}/trd-server.conf DESTINATION /etc/trd COMPONENT server)
install(FILES ${CMAKE_SOURCE_DIR}/docs/operations.md ${CMAKE_SOURCE_DIR}/docs/server.md
        DESTINATION share/doc/trd-server COMPONENT server)

# Each package's copyright and Debian changelog (compressed as policy asks).
find_program(TRD_GZIP gzip)
foreach(component server client)
  set(PACKAGE trd-${component})
  set(VERSION ${TRD_DEB_VERSION})
  set(MAINTAINER ${TRD_MAINTAINER})
  configure_file(${TRD_PACKAGING_DIR}/copyright.in ${TRD_PACKAGING_OUT}/${PACKAGE}/copyright @ONLY)
  configure_file(${TRD_PACKAGING_DIR}/changelog.in ${TRD_PACKAGING_OUT}/${PACKAGE}/changelog.Debian @ONLY)
  if(TRD_GZIP)
    execute_process(COMMAND ${TRD_GZIP} -9nf -k ${TRD_PACKAGING_OUT}/${PACKAGE}/changelog.Debian)
  endif()
  install(FILES ${TRD_PACKAGING_OUT}/${PACKAGE}/copyright ${TRD_PACKAGING_OUT}/${PACKAGE}/changelog.Debian.gz
          DESTINATION share/doc/${PACKAGE} COMPONENT ${component})
endforeach()

configure_file(${TRD_PACKAGING_DIR}/server-conffiles ${TRD_PACKAGING_OUT}/server-control/conffiles COPYONLY)
foreach(script postinst prerm postrm)
  file(COPY ${TRD_PACKAGING_DIR}/server-${script} DESTINATION ${TRD_PACKAGING_OUT}/server-control
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  file(RENAME ${TRD_PACKAGING_OUT}/server-control/server-${script} ${TRD_PACKAGING_OUT}/server-control/${script})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trd)
set(CPACK_PACKAGE_VENDOR "Equipe de Tradução")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server client)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TRD_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TRD_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME trd-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    "${TRD_PACKAGING_OUT}/server-control/conffiles;${TRD_PACKAGING_OUT}/server-control/postinst;${TRD_PACKAGING_OUT}/server-control/prerm;${TRD_PACKAGING_OUT}/server-control/postrm")
set(CPACK_COMPONENT_SERVER_DESCRIPTION
    "servidor do módulo de tradução\nServidor JSON-RPC (SQLite ou PostgreSQL) do módulo de tradução, com as\nferramentas trd-check e trd-exchange, um serviço do systemd e cópias de\nsegurança agendadas.")
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME trd-client)
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION misc)
set(CPACK_COMPONENT_CLIENT_DESCRIPTION
    "cliente do módulo de tradução\nJanela principal que carrega o pacote do módulo de tradução, com o editor\nde traduções e os relatórios de situação.")
include(CPack)
