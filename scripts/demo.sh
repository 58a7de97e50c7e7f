#!/usr/bin/env bash
# The main job on a fresh machine: installs what building the tool needs,
# builds the kestrum tool (and the two libraries under it) in Release, and
# runs it on the example project. Arguments go to `kestrum demo` (a
# directory for the example; default: a new ./kestrum-demo-XXXXXX in the
# current directory). The build lies in build-demo/, apart from the test
# builds, so that neither makes the other start over.
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
scripts/setup.sh --build
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_TESTS=OFF >/dev/null
cmake --build build-demo --target kestrum_tool -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
tool=$(pwd)/build-demo/tools/kestrum
cd "$here"
exec "$tool" demo "$@"
