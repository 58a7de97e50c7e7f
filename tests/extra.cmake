# Tests beyond the library's own areas: the command-line tool (driven as a
# binary on real project files, and its JSON conversion in-process) and the
# installed package as an outside project sees it. Included by
# tests/CMakeLists.txt; tools/ is added after tests/, so targets are named
# here and resolved when the build is generated.
if(KESTRUM_BUILD_TOOLS AND EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  file(GLOB tools_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/*.cc)
  add_executable(tools_tests ${tools_test_sources})
  target_link_libraries(tools_tests PRIVATE kestrum_cli test_support GTest::gmock)
  target_compile_definitions(tools_tests PRIVATE
    KESTRUM_TOOL="$<TARGET_FILE:kestrum_tool>"
    KESTRUM_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(tools_tests kestrum_tool)
  gtest_discover_tests(tools_tests TEST_PREFIX "tools." DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
endif()

include(${CMAKE_CURRENT_SOURCE_DIR}/install/install.cmake)
