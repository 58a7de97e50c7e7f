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
    KESTRUM_PROJECT_VERSION="${PROJECT_VERSION}"
    KESTRUM_BINARY_DIR="${CMAKE_BINARY_DIR}"
    KESTRUM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(tools_tests kestrum_tool)
  gtest_discover_tests(tools_tests TEST_PREFIX "tools." DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")

  # Checks of the tool's outside surfaces written in Python: the JSON
  # schemas against what the tool writes and reads, the man page against
  # --help, project files under git. They want the system's python3, which
  # is where Debian's python3-jsonschema goes.
  add_executable(import_verdicts ${CMAKE_CURRENT_SOURCE_DIR}/tools/helpers/import_verdicts.cc)
  target_link_libraries(import_verdicts PRIVATE kestrum_cli)
  add_dependencies(tools_tests import_verdicts)
  find_program(KESTRUM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
  find_program(KESTRUM_PYTHON3 python3)
  set(tools_script_dir ${CMAKE_CURRENT_SOURCE_DIR}/tools)
  set(tools_work_dir ${CMAKE_CURRENT_BINARY_DIR}/tools-work)
  add_test(NAME tools.Schema.DocumentsFollowSchemasAndImporterAgrees
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            ${KESTRUM_PYTHON3} ${tools_script_dir}/schema_test.py $<TARGET_FILE:kestrum_tool>
            $<TARGET_FILE:import_verdicts> ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/schema ${tools_work_dir}/schema)
  add_test(NAME tools.ManPage.InStepWithHelp
    COMMAND ${KESTRUM_PYTHON3} ${CMAKE_SOURCE_DIR}/tools/manpage.py --check $<TARGET_FILE:kestrum_tool>
            ${CMAKE_SOURCE_DIR}/tools/kestrum.1)
  add_test(NAME tools.GitDiff.ShowsProjectFilesAsJson
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            ${KESTRUM_PYTHON3} ${tools_script_dir}/git_diff_test.py $<TARGET_FILE:kestrum_tool>
            ${tools_work_dir}/git)
endif()

include(${CMAKE_CURRENT_SOURCE_DIR}/install/install.cmake)
