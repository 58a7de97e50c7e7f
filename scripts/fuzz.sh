#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a given time.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 60 s, targets load roundtrip dump
#
# Targets: load, roundtrip (project files) and import (JSON documents, run
# through the command-line tool's conversion; fuzz/import.dict).
#
# The targets make the checksum of every input right before loading it (see
# fuzz/fuzz_support.h), so the fuzzer reaches the parser behind it, and an
# input that crashed here crashes the replay test of a normal build in the
# same way. Inputs the fuzzer
# finds go to BUILD/corpus-TARGET (the committed seeds in fuzz/corpus/TARGET
# are read, never written); crashing inputs are written as
# BUILD/crash-TARGET-*. After fixing a crash, copy its input into
# fuzz/corpus/TARGET/ so that the replay test keeps trying it.
# Environment: FUZZ_BUILD (default build-fuzz), FUZZ_PARALLEL=1 runs the
# targets at the same time, FUZZ_ARGS adds libFuzzer options.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(load roundtrip dump)
out=${FUZZ_BUILD:-build-fuzz}
mkdir -p "$out/obj"

common=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all
        -DTK_BUILDING_TOOLKIT -DPM_BUILDING_KESTRUM
        -I. -Iinclude -Itoolkit -Itests/support -Ifuzz -Itools)

# Library and shared sources, instrumented for coverage but without main.
# TK_HEAP_MIMALLOC stays undefined: the toolkit heap is the C library's
# malloc here, so that the sanitizers see every block the library hands out.
sources=(toolkit/*.cc node/*.cc tree/*.cc process/*.cc paths/*.cc persist/*.cc
         tests/support/project_compare.cc tests/support/full_project.cc tests/support/file_seal.cc
         fuzz/fuzz_support.cc)
# The tool's own code for the dump target: all of tools/ but its main().
for src in tools/*.cc; do [ "$src" = tools/main.cc ] || sources+=("$src"); done
objects=()
stale=()
for src in "${sources[@]}"; do
  obj="$out/obj/$(echo "$src" | tr '/' '_').o"
  objects+=("$obj")
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] ||
     [ -n "$(find toolkit include node persist process tree paths tests/support fuzz tools -name '*.h' -newer "$obj" -print -quit)" ]; then
    stale+=("$src")
  fi
done
# The pipe runs xargs in a subshell; `objects` above stays in this shell.
printf '%s\n' "${stale[@]}" | xargs -r -P "$(nproc)" -I{} \
  sh -c 'clang++ "$@" -fsanitize=fuzzer-no-link -c {} -o "'"$out"'/obj/$(echo {} | tr / _).o"' _ "${common[@]}"

for target in "${targets[@]}"; do
  extra=()
  [ "$target" = import ] && extra=(-Itools tools/json_read.cc tools/json_write.cc tools/support.cc tools/build.cc tools/progress.cc)
  clang++ "${common[@]}" -fsanitize=fuzzer "fuzz/${target}_target.cc" "${extra[@]}" "${objects[@]}" -o "$out/fuzz-$target"
done

run() {
  local target=$1
  local dict=fuzz/kestrum.dict
  [ -f "fuzz/$target.dict" ] && dict=fuzz/$target.dict
  mkdir -p "$out/corpus-$target"
  "$out/fuzz-$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -dict="$dict" -print_final_stats=1 -artifact_prefix="$out/crash-$target-" \
    ${FUZZ_ARGS:-} "$out/corpus-$target" "fuzz/corpus/$target" >"$out/fuzz-$target.log" 2>&1
  local status=$?
  echo "== $target: exit $status"
  grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units|^stat::peak_rss' "$out/fuzz-$target.log" || tail -n 20 "$out/fuzz-$target.log"
  return $status
}

status=0
if [ "${FUZZ_PARALLEL:-0}" = 1 ]; then
  pids=()
  for target in "${targets[@]}"; do run "$target" & pids+=($!); done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
else
  for target in "${targets[@]}"; do run "$target" || status=1; done
fi
exit $status
