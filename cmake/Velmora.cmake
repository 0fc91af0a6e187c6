# Shared build helpers.

include(GoogleTest)

# Warnings for our own targets only (third-party headers are system includes). CI turns them
# into errors (VELMORA_WERROR=ON); a local build may keep them as warnings.
option(VELMORA_WERROR "Treat warnings in the project's own code as errors" OFF)
function(vm_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
    if(VELMORA_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# vm_headers(target scope folder): "folder/header.h" resolves for target (and, with PUBLIC,
# for whoever links it) and nothing else of the tree does. Each folder gets an include root of
# its own in the build tree holding one link named after it, so an include of a folder the
# target does not link fails to compile instead of slipping in.
function(vm_headers target scope folder)
    string(REPLACE "/" "_" key ${folder})
    set(root ${CMAKE_BINARY_DIR}/include/${key})
    if(NOT EXISTS ${root}/${folder})
        get_filename_component(parent ${root}/${folder} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
    target_include_directories(${target} ${scope} ${root})
endfunction()

# vm_library(name SOURCES ... [FOLDER dir] [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# One static library per source folder (FOLDER, by default the name without "vm_"); its
# headers are included as "folder/header.h" by the library itself and by what links it.
function(vm_library name)
    cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    if(NOT ARG_FOLDER)
        string(REGEX REPLACE "^vm_" "" ARG_FOLDER ${name})
    endif()
    add_library(${name} STATIC ${ARG_SOURCES})
    vm_headers(${name} PUBLIC ${ARG_FOLDER})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    vm_warnings(${name})
endfunction()

# vm_test(name SOURCES ... LIBS ... [LABEL core|gui] [TIMEOUT seconds] [WEB_ENGINE])
# Each test file is one GoogleTest program; ctest knows each of its cases by name
# ("ctest -R Suite.Case"). The cases of one program never run at the same time (they may share
# fixed names), programs do. Where the helper programs and the test data lie is compiled in
# (tests/support/TestPaths.h), so the program also runs on its own.
function(vm_test name)
    cmake_parse_arguments(ARG "WEB_ENGINE" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_LABEL)
        set(ARG_LABEL core)
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    vm_headers(${name} PRIVATE tests)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    target_compile_definitions(${name} PRIVATE
        VM_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
        VM_TEST_PROGRAM_DIR="${CMAKE_BINARY_DIR}/tests"
        VM_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
        VM_TEST_SIGNING_KEY="${VELMORA_DEV_SIGNING_KEY}")
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    vm_warnings(${name})
    # Chromium inside Qt WebEngine frees some objects through a base of another size, which the
    # sanitizer reports as a mismatch in code that is not ours: programs that host a page view
    # are spared that one check.
    set(environment_change "")
    if(ARG_WEB_ENGINE AND VELMORA_SANITIZE)
        set(environment_change ENVIRONMENT_MODIFICATION
            "ASAN_OPTIONS=string_append::new_delete_type_mismatch=0")
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 120
        PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} RESOURCE_LOCK ${name}
            ENVIRONMENT QT_QPA_PLATFORM=offscreen ${environment_change})
endfunction()

# vm_fuzz(name SOURCE file LIBS ...): a libFuzzer target, run briefly by ctest. It starts from
# the seed inputs in tests/fuzz/corpus/<name>/ (kept unchanged: what the fuzzer finds goes to a
# scratch folder in the build tree).
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
    set(seeds ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
    set(scratch ${CMAKE_BINARY_DIR}/fuzz/corpus/${name})
    file(MAKE_DIRECTORY ${scratch})
    # A fixed seed: the suite's short run is the same on every machine (a finding reproduces);
    # longer runs with fresh seeds are for fuzzing by hand (CONTRIBUTING.md).
    add_test(NAME ${name} COMMAND ${name} -seed=1 -max_total_time=5 -rss_limit_mb=2048
        -print_final_stats=0 ${scratch} ${seeds})
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 60)
endfunction()

find_package(Threads REQUIRED)
