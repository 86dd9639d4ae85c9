# What `cmake --install` (and `make install`, and the package of `make deb`)
# puts where: the two programs, the desktop entry and AppStream metainfo,
# the icon at every size it is drawn in, the help page where the program
# looks for it, and the manual page of quillon-wav.
include(GNUInstallDirs)

foreach(program quillon quillon-wav)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/resources/quillon.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/quillon.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME org.example.quillon.metainfo.xml)
foreach(size 48 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/101-icon-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quillon.png)
endforeach()
# The program looks for its help next to itself: ../share/quillon/help.
install(FILES ${PROJECT_SOURCE_DIR}/resources/help/Quillon.htm DESTINATION ${CMAKE_INSTALL_DATADIR}/quillon/help)
install(FILES ${PROJECT_SOURCE_DIR}/docs/quillon-wav.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
