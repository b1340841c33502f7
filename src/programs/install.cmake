# Installing the programs: beside their data (ORVQ_INSTALL_DIR, see the top
# CMakeLists.txt), the commands orvq and orvq-cli in bin, and a desktop entry
# with its icon. Every path is taken at install time, so any prefix works:
#     cmake --install build-release --prefix ~/.local
install(TARGETS orvq orvq-cli RUNTIME DESTINATION ${ORVQ_INSTALL_DIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/orvq.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
if(WIN32)
    return()
endif()
install(CODE "
    set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(MAKE_DIRECTORY \"\${root}/${CMAKE_INSTALL_BINDIR}\")
    foreach(program orvq orvq-cli)
        message(STATUS \"Installing: \${root}/${CMAKE_INSTALL_BINDIR}/\${program}\")
        file(CREATE_LINK \"../${ORVQ_INSTALL_DIR}/\${program}\"
             \"\${root}/${CMAKE_INSTALL_BINDIR}/\${program}\" SYMBOLIC)
    endforeach()
    set(entry \"\${root}/${CMAKE_INSTALL_DATADIR}/applications/orvq.desktop\")
    message(STATUS \"Installing: \${entry}\")
    file(WRITE \"\${entry}\" \"[Desktop Entry]
Type=Application
Name=Orvane QB Export
Comment=Export Orvane payroll results into QuickBooks
Exec=\${CMAKE_INSTALL_PREFIX}/${ORVQ_INSTALL_DIR}/orvq
Icon=orvq
Terminal=false
Categories=Office;Finance;
\")
")
