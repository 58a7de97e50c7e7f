#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds the
# kestrum tool and runs it on the bundled example project. Arguments go to
# `kestrum demo` (a directory for the example; default: a new
# ./kestrum-demo-XXXXXX in the current directory).
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kestrum_tool -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
tool=$(pwd)/build/tools/kestrum
cd "$here"
exec "$tool" demo "$@"
