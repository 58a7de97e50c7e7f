# The allocation-failure loops (label "oom"): one executable whose operator
# new asks the toolkit's allocation-fault counter, so that the Nth allocation
# of the library, the toolkit or the tool's code fails. It needs the test
# hooks, and it is kept apart from every other test executable so that no
# other test runs on the replaced allocator.
if(NOT KESTRUM_FAULT_INJECTION)
  return()
endif()
set(OOM_DIR ${CMAKE_CURRENT_SOURCE_DIR}/oom)
file(GLOB OOM_SOURCES CONFIGURE_DEPENDS ${OOM_DIR}/*.cc)
if(NOT KESTRUM_BUILD_TOOLS)
  list(FILTER OOM_SOURCES EXCLUDE REGEX "tool_[^/]*\\.cc$")
endif()
add_executable(oom_tests ${OOM_SOURCES})
target_include_directories(oom_tests PRIVATE ${OOM_DIR})
target_link_libraries(oom_tests PRIVATE reliability_helpers)
if(KESTRUM_BUILD_TOOLS)
  target_link_libraries(oom_tests PRIVATE kestrum_cli)
endif()
gtest_discover_tests(oom_tests TEST_PREFIX "oom." DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS oom ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1" TIMEOUT 300)
