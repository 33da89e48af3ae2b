# Shared helpers: one static library per subsystem, one test executable per
# subsystem, both picking up their sources by glob so that adding a file never
# means editing a list that several people touch at once.

set(NORVANE_WARNINGS -Wall -Wextra)
# g++ 12 warns, at -O2 only, that libstdc++'s own memcpy in
# basic_string::_M_replace may overlap when a string is assigned a literal of
# one or a few characters (GCC bug 105329, fixed in g++ 13): a false positive
# inside the standard library, not in this code. Off for that compiler alone.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND NORVANE_WARNINGS -Wno-restrict)
endif()

# EXCLUDE names sub-folders (relative to the library's folder) whose sources
# belong to a library of their own.
function(norvane_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(dir ${ARG_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${dir}/")
  endforeach()
  add_library(norvane_${name} STATIC ${srcs})
  target_include_directories(norvane_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(norvane_${name} PRIVATE ${NORVANE_WARNINGS})
  target_link_libraries(norvane_${name} PUBLIC ${ARG_DEPS})
endfunction()

# Test executables live in tests/<sub>/; the shared helpers of tests/support
# are compiled into each of them.
# TIMEOUT: seconds for each test (300 unless given); a program whose tests
# run long (a sanitized build on a loaded machine takes several times as
# long) names more. NOT_IN_ONE_PROCESS: gtest patterns of tests that the
# one-process run leaves out: rows that each run the program as a process of
# its own and hold nothing in the test's, whose second run would only lengthen
# the suite's longest test.
function(norvane_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS;EXCLUDE;NOT_IN_ONE_PROCESS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(dir ${ARG_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${dir}/")
  endforeach()
  add_executable(test_${name} ${srcs})
  target_compile_options(test_${name} PRIVATE ${NORVANE_WARNINGS})
  target_link_libraries(test_${name} PRIVATE norvane_test_support ${ARG_DEPS}
                        GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  # The whole program once more as one process, as a developer runs it: state
  # that one test leaks into the next fails here, not only by chance.
  if(ARG_NOT_IN_ONE_PROCESS)
    list(JOIN ARG_NOT_IN_ONE_PROCESS ":" left_out)
    add_test(NAME test_${name}.one_process COMMAND test_${name} --gtest_filter=-${left_out})
  else()
    add_test(NAME test_${name}.one_process COMMAND test_${name})
  endif()
  math(EXPR one_process_timeout "${ARG_TIMEOUT} * 4")
  if(one_process_timeout LESS 1200)
    set(one_process_timeout 1200)
  endif()
  # Started first: it is the longest of its program's tests.
  set_tests_properties(test_${name}.one_process PROPERTIES TIMEOUT ${one_process_timeout} COST 10000)
endfunction()
