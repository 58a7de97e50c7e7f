#!/usr/bin/env bash
# Runs the whole test suite under valgrind's memcheck in a normal build
# (no sanitizers, fault injection compiled in so that the fault-loop tests
# run too, the toolkit heap on the C library's malloc so that memcheck sees
# its blocks) and fails on any memory error or leak.
#
#   scripts/valgrind.sh [BUILD_DIR]          default: build-valgrind
#
# Every test program of the build runs once, whole, under valgrind (rather
# than once per test case, which would start valgrind hundreds of times).
# Commands that are not programs of the build (the CMake interface checks)
# run as usual. The crash test kills fewer processes here, as everything is
# many times slower under valgrind.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-valgrind}
command -v valgrind >/dev/null || { echo "valgrind is not installed (apt-get install valgrind)"; exit 1; }
echo "valgrind build in $dir: RelWithDebInfo, no sanitizers, fault injection on, toolkit heap on malloc"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUM_SANITIZE=OFF -DKESTRUM_WERROR=ON \
  -DKESTRUM_FAULT_INJECTION=ON -DKESTRUM_TOOLKIT_HEAP=malloc >/dev/null
cmake --build "$dir" -j "$(nproc)"

export KESTRUM_CRASH_KILLS=${KESTRUM_CRASH_KILLS:-30} KESTRUM_CRASH_SECONDS=${KESTRUM_CRASH_SECONDS:-120}
ctest --test-dir "$dir" --show-only=json-v1 >"$dir/tests.json"
python3 - "$dir" <<'PY'
import json, os, subprocess, sys

build = os.path.abspath(sys.argv[1])
tests = json.load(open(os.path.join(build, "tests.json")))["tests"]
runs, seen = [], set()
for t in tests:
    command = t.get("command") or []
    props = {p["name"]: p["value"] for p in t.get("properties", [])}
    env = dict(os.environ)
    for item in props.get("ENVIRONMENT", []):
        key, _, value = item.partition("=")
        if key != "ASAN_OPTIONS":
            env[key] = value
    cwd = props.get("WORKING_DIRECTORY", build)
    if not command:
        continue
    program = os.path.abspath(command[0])
    ours = program.startswith(build + os.sep)
    gtest = any(a.startswith("--gtest_filter") for a in command[1:])
    if ours and gtest:
        # One whole run per GoogleTest program.
        if program in seen:
            continue
        seen.add(program)
        command = [program]
    name = os.path.basename(program) if ours and gtest else t["name"]
    runs.append((name, command, env, cwd, ours))

memcheck = ["valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
            "--errors-for-leak-kinds=definite,indirect", "--show-leak-kinds=definite,indirect",
            "--track-origins=yes"]
failed = []
for name, command, env, cwd, ours in runs:
    full = memcheck + command if ours else command
    print(f"== {name}", flush=True)
    log = os.path.join(build, f"valgrind-{name.replace('/', '_')}.log")
    with open(log, "w") as out:
        status = subprocess.call(full, env=env, cwd=cwd, stdout=out, stderr=subprocess.STDOUT)
    if status != 0:
        failed.append(name)
        print(f"   FAILED (exit {status}), see {log}")
        subprocess.call(["tail", "-n", "40", log])
print(f"{len(runs) - len(failed)} passed, {len(failed)} failed")
sys.exit(1 if failed else 0)
PY
