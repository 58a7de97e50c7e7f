# Reliability tests: faults injected into every file operation, crashes,
# damaged files, file metadata, concurrent writers, misuse of every export,
# and the replay of the fuzzing corpus. Included from tests/CMakeLists.txt.
#
# Files named *_slow_test.cc form a second executable whose suites are
# registered one by one with the label "slow" (ctest -LE slow skips them).

set(REL_DIR ${CMAKE_CURRENT_SOURCE_DIR}/reliability)
file(GLOB REL_HELPERS CONFIGURE_DEPENDS ${REL_DIR}/*.cc)
list(FILTER REL_HELPERS EXCLUDE REGEX "_test\\.cc$")
file(GLOB REL_FAST CONFIGURE_DEPENDS ${REL_DIR}/*_test.cc)
list(FILTER REL_FAST EXCLUDE REGEX "_slow_test\\.cc$")
if(NOT KESTRUM_FAULT_INJECTION)
  # The fault loops need the toolkit's fault injection (test builds only).
  list(FILTER REL_FAST EXCLUDE REGEX "fault[^/]*_test\\.cc$")
endif()
file(GLOB REL_SLOW CONFIGURE_DEPENDS ${REL_DIR}/*_slow_test.cc)

add_library(reliability_helpers STATIC ${REL_HELPERS})
target_include_directories(reliability_helpers PUBLIC ${REL_DIR})
target_link_libraries(reliability_helpers PUBLIC test_support)

set(REL_ENV "ASAN_OPTIONS=detect_leaks=1" "KESTRUM_SOURCE_DIR=${CMAKE_SOURCE_DIR}")

add_executable(reliability_tests ${REL_FAST})
target_link_libraries(reliability_tests PRIVATE reliability_helpers)
target_compile_definitions(reliability_tests PRIVATE
  KESTRUM_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KESTRUM_BINARY_DIR="${CMAKE_BINARY_DIR}")
gtest_discover_tests(reliability_tests TEST_PREFIX "reliability." DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "${REL_ENV}" TIMEOUT 300)

if(REL_SLOW)
  add_executable(reliability_slow_tests ${REL_SLOW})
  target_link_libraries(reliability_slow_tests PRIVATE reliability_helpers)
  target_compile_definitions(reliability_slow_tests PRIVATE
    KESTRUM_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KESTRUM_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # One CTest test per suite, so each carries the label and runs in parallel.
  foreach(suite CrashKill TwoWriters DamagedFile)
    add_test(NAME reliability.slow.${suite}
             COMMAND reliability_slow_tests --gtest_filter=*${suite}*)
    set_tests_properties(reliability.slow.${suite} PROPERTIES
      LABELS slow ENVIRONMENT "${REL_ENV}" TIMEOUT 600)
  endforeach()
endif()

# The fuzz targets, built with the normal compiler and fed the committed
# corpus by a small replay driver, so that every input that once crashed a
# target is tried again in every build that replays them (scripts/test.sh:
# the sanitizer build, on both paths).
if(NOT KESTRUM_FUZZ_REPLAY)
  return()
endif()
set(FUZZ_DIR ${CMAKE_SOURCE_DIR}/fuzz)
add_library(fuzz_support STATIC ${FUZZ_DIR}/fuzz_support.cc
            ${CMAKE_CURRENT_SOURCE_DIR}/support/project_compare.cc
            ${CMAKE_CURRENT_SOURCE_DIR}/support/full_project.cc
            ${CMAKE_CURRENT_SOURCE_DIR}/support/file_seal.cc
            ${CMAKE_CURRENT_SOURCE_DIR}/support/raw_tree_file.cc)
target_include_directories(fuzz_support PUBLIC ${FUZZ_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/support
                           ${CMAKE_SOURCE_DIR})
target_link_libraries(fuzz_support PUBLIC kestrum toolkit)
foreach(target load roundtrip)
  add_executable(fuzz_replay_${target} ${FUZZ_DIR}/${target}_target.cc ${FUZZ_DIR}/replay_main.cc)
  target_link_libraries(fuzz_replay_${target} PRIVATE fuzz_support)
  add_test(NAME reliability.fuzz_replay.${target}
           COMMAND fuzz_replay_${target} ${FUZZ_DIR}/corpus/load ${FUZZ_DIR}/corpus/roundtrip ${FUZZ_DIR}/corpus/dump)
  set_tests_properties(reliability.fuzz_replay.${target} PROPERTIES ENVIRONMENT "${REL_ENV}" TIMEOUT 300)
endforeach()
# `kestrum dump` takes any file, so it is fuzzed on its own; its target
# links the tool's library (tools/ is added after tests/, names resolve when
# the build is generated).
if(KESTRUM_BUILD_TOOLS AND EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  add_executable(fuzz_replay_dump ${FUZZ_DIR}/dump_target.cc ${FUZZ_DIR}/replay_main.cc)
  target_link_libraries(fuzz_replay_dump PRIVATE fuzz_support kestrum_cli)
  add_test(NAME reliability.fuzz_replay.dump
           COMMAND fuzz_replay_dump ${FUZZ_DIR}/corpus/load ${FUZZ_DIR}/corpus/roundtrip ${FUZZ_DIR}/corpus/dump)
  set_tests_properties(reliability.fuzz_replay.dump PROPERTIES ENVIRONMENT "${REL_ENV}" TIMEOUT 300)
endif()
add_executable(fuzz_make_corpus ${FUZZ_DIR}/make_corpus.cc)
target_link_libraries(fuzz_make_corpus PRIVATE fuzz_support)
# JSON import runs the command-line tool's own conversion; its corpus holds
# JSON documents, not project files.
if(KESTRUM_BUILD_TOOLS)
  add_executable(fuzz_replay_import ${FUZZ_DIR}/import_target.cc ${FUZZ_DIR}/replay_main.cc)
  target_link_libraries(fuzz_replay_import PRIVATE fuzz_support kestrum_cli)
  add_test(NAME reliability.fuzz_replay.import COMMAND fuzz_replay_import ${FUZZ_DIR}/corpus/import)
  set_tests_properties(reliability.fuzz_replay.import PROPERTIES ENVIRONMENT "${REL_ENV}" TIMEOUT 300)
endif()
