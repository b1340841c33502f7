# A Windows build made on Linux runs its tests under Wine: every test goes
# through the wrapper wine/run in the build tree, which keeps a Wine prefix
# of the tree's own and finds Qt's and MinGW's DLLs. Linux programs the tests
# start (python3 for the sandbox payroll service, openssl, 7z, pdftotext) are reached
# through Winelib launchers of the same names.
if(NOT (WIN32 AND CMAKE_CROSSCOMPILING))
    return()
endif()
# The folders holding the MinGW runtime DLLs the programs load.
set(ORVQ_MINGW_DLL_DIRS)
foreach(dll libstdc++-6.dll libwinpthread-1.dll libgcc_s_seh-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}")
        find_file(path_${dll} ${dll} PATHS /usr/${CMAKE_CXX_COMPILER_TARGET}/lib
                  /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
        set(path "${path_${dll}}")
    endif()
    if(EXISTS "${path}")
        get_filename_component(dir "${path}" DIRECTORY)
        get_filename_component(dir "${dir}" REALPATH)
        list(APPEND ORVQ_MINGW_DLL_DIRS ${dir})
    endif()
endforeach()
list(REMOVE_DUPLICATES ORVQ_MINGW_DLL_DIRS)
set(ORVQ_MINGW_DLL_DIRS ${ORVQ_MINGW_DLL_DIRS} CACHE INTERNAL "")

find_program(ORVQ_WINE wine)
if(NOT ORVQ_WINE)
    message(STATUS "Wine missing: the Windows tests cannot run here")
    return()
endif()

set(ORVQ_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(ORVQ_WINE_TOOLS_DIR ${ORVQ_WINE_DIR}/tools)
string(REPLACE ";" " " ORVQ_MINGW_DLL_DIRS_WORDS "${ORVQ_MINGW_DLL_DIRS}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${ORVQ_WINE_DIR}/run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVQ_WINE_DIR}/run)

find_program(ORVQ_WINEGCC winegcc)
if(ORVQ_WINEGCC)
    set(launchers)
    foreach(tool python3 openssl 7z pdftotext)
        set(out ${ORVQ_WINE_TOOLS_DIR}/${tool}.exe)
        # winegcc names its Winelib program <name>.so; an ELF file of the
        # Windows name is what Wine starts as that program.
        add_custom_command(OUTPUT ${out}
            COMMAND ${ORVQ_WINEGCC} -m64 -mconsole -O2 ${PROJECT_SOURCE_DIR}/scripts/wine/unix-tool.c
                    -lntdll -o ${out}
            COMMAND ${CMAKE_COMMAND} -E rename ${out}.so ${out}
            DEPENDS ${PROJECT_SOURCE_DIR}/scripts/wine/unix-tool.c
            COMMENT "Winelib launcher for the Linux ${tool}")
        list(APPEND launchers ${out})
    endforeach()
    add_custom_target(orvq_wine_tools ALL DEPENDS ${launchers})
else()
    message(STATUS "winegcc missing: tests that start Linux programs skip under Wine")
endif()
