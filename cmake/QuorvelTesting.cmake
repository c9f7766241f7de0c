# quorvel_gtest(<target> <source>... [LIBRARIES <lib>...] [PROPERTIES <property> <value>...])
#
# One GoogleTest program and its ctest entries. Natively every test of the program is its
# own ctest test (gtest_discover_tests, with PROPERTIES set on each). Cross-built, the
# program runs under Wine, and each discovered test would start the emulator once more:
# one ctest entry runs the whole program instead. The libraries are linked in the order
# given (a static library before the one that resolves its calls), then gtest_main.
include(GoogleTest)

function(quorvel_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 GTEST "" "" "LIBRARIES;PROPERTIES")
  add_executable(${target} ${GTEST_UNPARSED_ARGUMENTS})
  quorvel_target_defaults(${target})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${GTEST_LIBRARIES} GTest::gtest GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
    if(GTEST_PROPERTIES)
      set_tests_properties(${target} PROPERTIES ${GTEST_PROPERTIES})
    endif()
  elseif(GTEST_PROPERTIES)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES ${GTEST_PROPERTIES})
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
