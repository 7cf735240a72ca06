# Helpers shared by the subsystem folders.

# Warnings stop the build, except in the clang fuzz build, where clang-only warnings would stop it for
# code that g++ builds cleanly.
option(AMB_WERROR "Treat warnings as errors" ON)
function(amb_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(AMB_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # The Windows build optimises with -O3, where g++ 12 reports false overlaps inside std::string's
  # own copies ("-Wrestrict" in char_traits); the warning concerns the library's code.
  if(CMAKE_CROSSCOMPILING AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# amb_library(<name> SOURCES ... [DEPS ...])
# One static library per subsystem folder; its headers are included as "<folder>/<file>.hpp".
function(amb_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  amb_warnings(${name})
endfunction()

# Tests that bind the program's fixed ports (RESOURCE_LOCK fixed_ports) run each in a network
# namespace of their own where this machine allows one (scripts/in-netns.sh), so they neither wait
# for each other nor meet another test run on the same machine; elsewhere they hold the lock.
if(NOT DEFINED AMB_TEST_NETNS AND NOT CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  execute_process(COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/in-netns.sh true
                  RESULT_VARIABLE _amb_netns_rc OUTPUT_QUIET ERROR_QUIET TIMEOUT 20)
  if(_amb_netns_rc EQUAL 0)
    set(_amb_netns_default ON)
  else()
    set(_amb_netns_default OFF)
  endif()
  option(AMB_TEST_NETNS "Run the tests on fixed ports in network namespaces of their own" ${_amb_netns_default})
  message(STATUS "Fixed-port tests in network namespaces of their own: ${AMB_TEST_NETNS}")
endif()

# amb_test(<name> LABELS ... SOURCES ... [DEPS ...] [RESOURCE_LOCK ...])
# A GoogleTest program; every test case becomes one ctest test carrying the labels of its folder.
function(amb_test name)
  cmake_parse_arguments(ARG "" "" "LABELS;SOURCES;DEPS;RESOURCE_LOCK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} amb_testsupport GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    AMB_SOURCE_DIR="${AMB_TEST_PATH_PREFIX}${PROJECT_SOURCE_DIR}"
    AMB_TESTDATA_DIR="${AMB_TEST_PATH_PREFIX}${AMB_TESTDATA_DIR}"
    AMB_BINARY_DIR="${AMB_TEST_PATH_PREFIX}${PROJECT_BINARY_DIR}")
  amb_warnings(${name})
  # Every start of the program in a test scans the generated AI package.
  if(TARGET amb_ailib_folder)
    add_dependencies(${name} amb_ailib_folder)
  endif()
  # Labels go on the folder: discovered tests take a list property badly, and every test of a
  # folder shares its labels anyway.
  set_property(DIRECTORY APPEND PROPERTY LABELS ${ARG_LABELS})
  set(props TIMEOUT 600)
  if(AMB_TEST_NETNS AND "fixed_ports" IN_LIST ARG_RESOURCE_LOCK)
    list(REMOVE_ITEM ARG_RESOURCE_LOCK fixed_ports)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/in-netns.sh)
  endif()
  # Named pipes are one namespace for the whole machine on Windows (for every program of one Wine
  # prefix): programs that listen on or connect to the simulator's own pipe name must not run at
  # once there. The Linux stand-in puts each test's pipes in its own runtime folder.
  if(NOT WIN32)
    list(REMOVE_ITEM ARG_RESOURCE_LOCK windows_sim_pipe)
  endif()
  if(ARG_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
  if(CMAKE_CROSSCOMPILING)
    # One test per program: every start of a program under the emulator (Wine) costs a lot more
    # than its test cases, so the program runs whole and reports each case in its output.
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES ${props})
  else()
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      PROPERTIES ${props})
  endif()
endfunction()
