# orvq_add_test(NAME <name> SOURCES <files...> LIBS <targets...>)
# One Qt Test executable per module, run by CTest in a pinned environment so
# results never depend on the developer's locale or display.
function(orvq_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test orvq_testsupport ${T_LIBS})
    # Qt Test writes the build folder into every test's main(), for
    # QFINDTESTDATA, which no test uses (they find their data through
    # ORVQ_TEST_DATA): the same text in every checkout keeps the compiler
    # cache shared between them.
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin
                                               QT_TESTCASE_BUILDDIR .)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT 300
        ENVIRONMENT "LANG=C.UTF-8;LC_ALL=C.UTF-8;QT_QPA_PLATFORM=offscreen;ORVQ_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data;ORVQ_SOURCE_DIR=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
    # Tests that start the sandbox payroll service or a PostgreSQL server run
    # longest; started first, they do not finish alone at the end of a
    # parallel run in a fresh tree, where CTest knows no times yet.
    if(orvq_payrolltestsupport IN_LIST T_LIBS OR orvq_testpostgres IN_LIST T_LIBS)
        set_tests_properties(${T_NAME} PROPERTIES COST 100)
    endif()
endfunction()

# orvq_add_library(<target> <sources...>): a core library of one subsystem.
function(orvq_add_library NAME)
    add_library(${NAME} STATIC ${ARGN})
    # Headers are included by subsystem path ("base/Currency.h").
    target_include_directories(${NAME} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# Qt's headers precompiled once a tree, not parsed again in every file: three
# hosts, one for code on Qt Core, one for widget code and one for tests on Qt
# Core, and every target of the project reuses one of them
# (orvq_use_precompiled_headers, called once at the end of the top-level
# CMakeLists). Only Qt Core's and the widgets' headers go in: QtTest's depend
# on the definitions of each test program (its folder, the modules it links),
# and GCC refuses a precompiled header made with other ones.
function(orvq_add_precompiled_header_hosts)
    set(core <QByteArray> <QDateTime> <QHash> <QList> <QObject> <QString> <QStringList>
             <QVariant> <functional> <memory> <vector>)
    add_library(orvq_pch_core STATIC ${PROJECT_SOURCE_DIR}/cmake/PrecompiledCoreHost.cpp)
    target_link_libraries(orvq_pch_core PRIVATE Qt6::Core)
    target_precompile_headers(orvq_pch_core PRIVATE ${core})
    find_package(Qt6 REQUIRED COMPONENTS Gui Widgets PrintSupport)
    add_library(orvq_pch_widgets STATIC ${PROJECT_SOURCE_DIR}/cmake/PrecompiledWidgetsHost.cpp)
    target_link_libraries(orvq_pch_widgets PRIVATE Qt6::PrintSupport Qt6::Widgets Qt6::Gui Qt6::Core)
    target_precompile_headers(orvq_pch_widgets PRIVATE ${core} <QtWidgets>)
    # QtTest's module header brings all of Qt Core, parsed again in every
    # test otherwise; the widgets' host has it already through <QtWidgets>.
    add_library(orvq_pch_tests STATIC ${PROJECT_SOURCE_DIR}/cmake/PrecompiledTestsHost.cpp)
    target_link_libraries(orvq_pch_tests PRIVATE Qt6::Core)
    target_precompile_headers(orvq_pch_tests PRIVATE ${core} <QtCore>)
endfunction()

# Whether a target links a Qt module (Qt6::Core, Qt6::Widgets), itself or
# through its libraries.
function(orvq_links_qt TARGET MODULE RESULT)
    set(pending ${TARGET})
    set(seen)
    set(found FALSE)
    while(pending AND NOT found)
        list(POP_FRONT pending current)
        if(current IN_LIST seen OR NOT TARGET ${current})
            continue()
        endif()
        list(APPEND seen ${current})
        if(current STREQUAL MODULE)
            set(found TRUE)
        endif()
        get_target_property(type ${current} TYPE)
        set(links)
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(direct ${current} LINK_LIBRARIES)
            if(direct)
                list(APPEND links ${direct})
            endif()
        endif()
        get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
        if(interface)
            list(APPEND links ${interface})
        endif()
        foreach(link ${links})
            # Generator expressions such as $<LINK_ONLY:x> name x.
            string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" link "${link}")
            list(APPEND pending ${link})
        endforeach()
    endwhile()
    set(${RESULT} ${found} PARENT_SCOPE)
endfunction()

# Every C++ target in DIRECTORY and below that links Qt reuses the host it fits.
function(orvq_use_precompiled_headers DIRECTORY)
    get_property(targets DIRECTORY ${DIRECTORY} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
        get_target_property(type ${target} TYPE)
        if(target MATCHES "^orvq_pch_" OR NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE|OBJECT_LIBRARY)$")
            continue()
        endif()
        get_target_property(sources ${target} SOURCES)
        if(NOT sources MATCHES "\\.cpp")
            continue()
        endif()
        orvq_links_qt(${target} Qt6::Widgets widgets)
        orvq_links_qt(${target} Qt6::Test tests)
        orvq_links_qt(${target} Qt6::Core core)
        if(widgets)
            target_precompile_headers(${target} REUSE_FROM orvq_pch_widgets)
        elseif(tests)
            target_precompile_headers(${target} REUSE_FROM orvq_pch_tests)
        elseif(core)
            target_precompile_headers(${target} REUSE_FROM orvq_pch_core)
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY ${DIRECTORY} PROPERTY SUBDIRECTORIES)
    foreach(subdirectory ${subdirectories})
        orvq_use_precompiled_headers(${subdirectory})
    endforeach()
endfunction()
