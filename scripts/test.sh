#!/usr/bin/env bash
# Builds kestrum twice, a normal build and one with AddressSanitizer and
# UndefinedBehaviorSanitizer (leak detection on), and runs the whole suite in
# both. Any warning, failure or sanitizer finding fails the run. Both builds
# compile the toolkit's fault injection, which the fault-loop tests need and
# which is off in an ordinary build. The sanitizer build puts the toolkit heap
# on the C library's malloc, so that leak and double-free checks see every
# block the library hands out; the normal build tests the default, mimalloc.
#
# The library's fast paths (node/slow_paths.h) must give what their plain
# paths give, so the suite runs both ways: the normal build on the fast
# paths, the sanitizer build with KESTRUM_SLOW_PATHS=1 on the plain ones,
# and then, still under the sanitizers, the suites that drive the fast paths
# hardest (the long lists, the project file) on the fast paths again.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

suite() {
  local dir=$1; shift
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" ${CTEST_ARGS:-}
}

build build -DKESTRUM_WERROR=ON -DKESTRUM_FAULT_INJECTION=ON -DKESTRUM_BUILD_PYTHON=ON
suite build
build build-asan -DKESTRUM_WERROR=ON -DKESTRUM_SANITIZE=ON -DKESTRUM_FAULT_INJECTION=ON -DKESTRUM_TOOLKIT_HEAP=malloc -DKESTRUM_BUILD_PYTHON=ON
KESTRUM_SLOW_PATHS=1 suite build-asan
suite build-asan -R 'LongList|^persist\.'
