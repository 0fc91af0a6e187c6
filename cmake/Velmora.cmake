# Shared build helpers.

# Warnings for our own targets only (third-party headers are system includes).
function(vm_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

# vm_library(name SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# One static library per source folder; headers are included as "folder/header.h".
function(vm_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    vm_warnings(${name})
endfunction()

# vm_test(name SOURCES ... LIBS ... [LABEL core|gui])
# Each test file is one GoogleTest program run by ctest; the label picks the suite.
function(vm_test name)
    cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_LABEL)
        set(ARG_LABEL core)
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    vm_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELMORA_TEST_BIN=${CMAKE_BINARY_DIR}/bin;VELMORA_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()

# vm_fuzz(name SOURCE file LIBS ...): a libFuzzer target, run briefly by ctest.
function(vm_fuzz name)
    cmake_parse_arguments(ARG "" "SOURCE" "LIBS" ${ARGN})
    if(NOT VELMORA_FUZZ)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCE})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    vm_warnings(${name})
    add_test(NAME ${name} COMMAND ${name} -max_total_time=5 -rss_limit_mb=2048 -print_final_stats=0)
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 60)
endfunction()

find_package(Threads REQUIRED)
