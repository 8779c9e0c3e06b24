# cmake --install <build> [--prefix <prefix>], honouring DESTDIR: the program
# (stripped when the build type is Release), quorvel-agent and its man page
# where that target exists, the desktop entry, the AppStream metainfo, the
# icons and the man page, in the GNU directories.
include(GNUInstallDirs)
include(QuorvelInstallPrograms)

quorvel_install_programs()

set(QUORVEL_APP_ID example.quorvel.Quorvel)
install(FILES ${PROJECT_SOURCE_DIR}/data/${QUORVEL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/${QUORVEL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/quorvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Included after the sources, so the agent's target is known here.
if(TARGET quorvel-agent)
  install(FILES ${PROJECT_SOURCE_DIR}/data/quorvel-agent.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${QUORVEL_ICON_DIR}/quorvel.svg DESTINATION ${icons}/scalable/apps)
install(FILES ${QUORVEL_ICON_DIR}/quorvel-48.png DESTINATION ${icons}/48x48/apps RENAME quorvel.png)
install(FILES ${QUORVEL_ICON_DIR}/quorvel-256.png DESTINATION ${icons}/256x256/apps RENAME quorvel.png)
