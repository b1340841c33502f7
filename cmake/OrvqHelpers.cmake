# orvq_add_test(NAME <name> SOURCES <files...> LIBS <targets...>)
# One Qt Test executable per module, run by CTest in a pinned environment so
# results never depend on the developer's locale or display.
function(orvq_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test orvq_testsupport ${T_LIBS})
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT 300
        ENVIRONMENT "LANG=C.UTF-8;LC_ALL=C.UTF-8;QT_QPA_PLATFORM=offscreen;ORVQ_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data;ORVQ_SOURCE_DIR=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
endfunction()

# orvq_add_library(<target> <sources...>): a core library of one subsystem.
function(orvq_add_library NAME)
    add_library(${NAME} STATIC ${ARGN})
    # Headers are included by subsystem path ("base/Currency.h").
    target_include_directories(${NAME} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()
