#!/usr/bin/env bash
# Builds kestrum twice, a normal build and one with AddressSanitizer and
# UndefinedBehaviorSanitizer (leak detection on), and runs the whole suite in
# both; then a third, small build with ThreadSanitizer runs the tests that
# start threads. Any warning, failure or sanitizer finding fails the run. Both builds
# compile the toolkit's fault injection, which the fault-loop tests need and
# which is off in an ordinary build. The sanitizer build puts the toolkit heap
# on the C library's malloc, so that leak and double-free checks see every
# block the library hands out; the normal build tests the default, mimalloc.
#
# The library's fast paths (node/slow_paths.h) must give what their plain
# paths give, so the suite runs both ways: the normal build on the fast
# paths, the sanitizer build with KESTRUM_SLOW_PATHS=1 on the plain ones,
# and then, still under the sanitizers, the suites that drive the fast paths
# hardest (the long lists, the project file, the fuzz corpus) on the fast
# paths again.
#
# Compiling is most of the time, so each build makes only what it is for:
# the normal build is optimised as a release is but carries no debug
# information (nothing reads it) and runs the benchmark's smoke run; the
# sanitizer build is at -O1 with line tables only (enough for the
# sanitizers' stack traces, at a third of the compile time of -O2 -g) and
# replays the fuzz corpus. Each stage's wall and CPU time is printed at the
# end (docs/contributing.md has the figures).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

times_file=$(mktemp)
trap 'echo "--- stage times (wall, CPU of every process)"; cat "$times_file"; rm -f "$times_file"' EXIT

# Runs a command as a named stage and notes its times.
stage() {
  local TIMEFORMAT="$1: %0R s wall, %0U + %0S s CPU"
  shift
  { time "$@" 2>&3; } 3>&2 2>>"$times_file"
}

build() {
  local dir=$1 flags=$2; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=$flags" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$flags" \
    -DKESTRUM_WERROR=ON -DKESTRUM_FAULT_INJECTION=ON -DKESTRUM_BUILD_PYTHON=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

suite() {
  local dir=$1; shift
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" ${CTEST_ARGS:-}
}

stage "normal build" build build "-O2 -DNDEBUG" -DKESTRUM_FUZZ_REPLAY=OFF
stage "normal suite" suite build
stage "sanitizer build" build build-asan "-O1 -g1 -DNDEBUG" -DKESTRUM_SANITIZE=ON -DKESTRUM_TOOLKIT_HEAP=malloc \
  -DKESTRUM_BUILD_BENCH=OFF
KESTRUM_SLOW_PATHS=1 stage "sanitizer suite, plain paths" suite build-asan
stage "sanitizer suite, fast paths" suite build-asan -R 'LongList|^persist\.|fuzz_replay'

# ThreadSanitizer, in a small build of its own: only the library and the test
# programs that start threads, and of those only the tests that do. The test
# hooks stay out of it: their one lock around every file call would order
# the threads' work and hide a race from the sanitizer.
thread_build() {
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
    -DKESTRUM_WERROR=ON -DKESTRUM_FAULT_INJECTION=OFF -DKESTRUM_SANITIZE_THREADS=ON -DKESTRUM_TOOLKIT_HEAP=malloc \
    -DKESTRUM_BUILD_TOOLS=OFF -DKESTRUM_BUILD_PYTHON=OFF -DKESTRUM_BUILD_BENCH=OFF -DKESTRUM_BUILD_DOCS=OFF \
    -DKESTRUM_FUZZ_REPLAY=OFF >/dev/null
  cmake --build build-tsan -j "$jobs" --target node_tests toolkit_tests threads_tests
}
thread_suite() {
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
    -R '^(threads\.|node\.LongList\.(ChangesInAnotherThreadAreSeen|ThreadsFillingTheirOwnListsGetTheirOwnLists)$|toolkit\.SeamTest\.ReadCollectsPartialTransfersUntilFullOrEnd$)' \
    ${CTEST_ARGS:-}
}
stage "thread sanitizer build" thread_build
stage "thread sanitizer suite" thread_suite
