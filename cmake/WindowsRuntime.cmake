# What a Windows install needs beside the programs: Qt's DLLs and the plugins
# the programs load (in the folders beside them Qt searches), the libraries
# of the cross-built prefix (OpenSSL, libcurl, expat, SQLite, 7-Zip) and the
# MinGW runtime. `cmake --install` then gives a folder that runs as it is, and
# the target orvq_installer packs it into OrvQ-<version>-setup.exe.
if(NOT WIN32)
    return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Network Sql PrintSupport)

foreach(module Core Gui Widgets Network Sql PrintSupport)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION ${ORVQ_INSTALL_DIR})
endforeach()
foreach(plugin platforms:QWindowsIntegrationPlugin styles:QWindowsVistaStylePlugin
               sqldrivers:QSQLiteDriverPlugin printsupport:QWindowsPrinterSupportPlugin)
    string(REPLACE ":" ";" plugin ${plugin})
    list(GET plugin 0 folder)
    list(GET plugin 1 target)
    if(TARGET Qt6::${target})
        install(FILES $<TARGET_FILE:Qt6::${target}> DESTINATION ${ORVQ_INSTALL_DIR}/${folder})
    else()
        message(WARNING "Qt's ${target} is missing: the install lacks ${folder}")
    endif()
endforeach()

if(ORVQ_WINDOWS_PREFIX)
    foreach(pattern libcrypto-*.dll libssl-*.dll libcurl*.dll libexpat*.dll libsqlite3*.dll 7z.dll)
        file(GLOB dlls ${ORVQ_WINDOWS_PREFIX}/bin/${pattern})
        install(FILES ${dlls} DESTINATION ${ORVQ_INSTALL_DIR})
    endforeach()
endif()
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    find_file(ORVQ_RUNTIME_${dll} ${dll} PATHS ${ORVQ_MINGW_DLL_DIRS} NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH)
    if(ORVQ_RUNTIME_${dll})
        install(FILES ${ORVQ_RUNTIME_${dll}} DESTINATION ${ORVQ_INSTALL_DIR})
    endif()
endforeach()

find_program(ORVQ_MAKENSIS makensis)
if(ORVQ_MAKENSIS)
    set(stage ${CMAKE_BINARY_DIR}/installer-stage)
    set(setup ${CMAKE_BINARY_DIR}/OrvQ-${PROJECT_VERSION}-setup.exe)
    add_custom_target(orvq_installer
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
        COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${stage}
        COMMAND ${ORVQ_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${stage}/${ORVQ_INSTALL_DIR}
                -DOUTFILE=${setup} ${PROJECT_SOURCE_DIR}/packaging/windows/orvq.nsi
        BYPRODUCTS ${setup}
        COMMENT "Packing ${setup}")
    add_dependencies(orvq_installer orvq orvq-cli orvq-qbsandbox)
endif()
