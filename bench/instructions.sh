#!/usr/bin/env bash
# Instructions per node of the whole-project operations, counted by
# callgrind: load, a readiness pass over every process at every node of its
# level, save-as, save into an existing file, destroy. Unlike wall time on a
# shared machine these counts do not move when other work runs, so they are
# what performance claims rest on (docs/performance.md).
#
#   bench/instructions.sh [--build DIR] [--tiles "2000 500"] [--work DIR]
#                         [--check BUDGETS] [--margin PERCENT]
#
#   --build   a configured build with kestrum_reference_project and
#             kestrum_instruction_counts; default build-instructions, which
#             is configured here as a user builds the library
#             (RelWithDebInfo, the default heap, no fault injection)
#   --tiles   project sizes in tiles of 50 samples (default: the reference,
#             2000, and its quarter, 500)
#   --work    where the projects are made and kept between runs (default
#             /tmp/kestrum-instructions); a project already there is reused
#   --check   a budget file: lines "OPERATION INSTRUCTIONS_PER_NODE"; any
#             operation above its budget plus the margin fails the run
#   --margin  percent allowed over a budget (default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="" tiles="2000 500" work=/tmp/kestrum-instructions budgets="" margin=10
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --tiles) tiles=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --check) budgets=$2; shift 2 ;;
    --margin) margin=$2; shift 2 ;;
    *) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
command -v valgrind >/dev/null || { echo "instructions.sh: valgrind is not installed" >&2; exit 2; }

if [ -z "$build" ]; then
  build=$root/build-instructions
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUM_BUILD_TESTS=OFF \
    -DKESTRUM_BUILD_TOOLS=OFF -DKESTRUM_BUILD_DOCS=OFF -DKESTRUM_FAULT_INJECTION=OFF >/dev/null
  cmake --build "$build" -j2 --target kestrum_reference_project kestrum_instruction_counts >/dev/null
fi
for exe in kestrum_reference_project kestrum_instruction_counts; do
  [ -x "$build/bench/$exe" ] || { echo "instructions.sh: $build/bench/$exe is not built" >&2; exit 2; }
done
mkdir -p "$work"

ops="load save_as save destroy ready"
failures=0
printf '%-8s %10s' operation ""
for t in $tiles; do printf ' %16s' "$t tiles/node"; done
printf '\n'
declare -A per_node
for t in $tiles; do
  project=$work/tiles-$t
  # Made again when the builder is newer than it.
  if [ ! "$project/project.kpf" -nt "$build/bench/kestrum_reference_project" ]; then
    rm -rf "$project"
    "$build/bench/kestrum_reference_project" "$project" "$t" >/dev/null
  fi
  out=$work/callgrind-$t
  rm -rf "$out" && mkdir -p "$out"
  nodes=$(KESTRUM_HEAP=mimalloc valgrind --tool=callgrind --instr-atstart=no --dump-instr=no --callgrind-out-file="$out/cg.%p" \
            --log-file="$out/valgrind.log" "$build/bench/kestrum_instruction_counts" "$project/project.kpf" |
          awk '$1 == "nodes" { print $2 }')
  [ -n "$nodes" ] || { echo "instructions.sh: the counting run failed ($out/valgrind.log)" >&2; exit 1; }
  # Each client-request dump names its operation and carries its total.
  for f in "$out"/cg.*; do
    op=$(sed -n 's/^desc: Trigger: Client Request: //p' "$f")
    total=$(sed -n 's/^summary: //p; s/^totals: //p' "$f" | head -1 | awk '{ print $1 }')
    [ -n "$op" ] && per_node[$t,$op]=$((total / nodes))
  done
  per_node[$t,nodes]=$nodes
done
for op in $ops nodes; do
  printf '%-8s %10s' "$op" ""
  for t in $tiles; do printf ' %16s' "${per_node[$t,$op]:-?}"; done
  printf '\n'
done

if [ -n "$budgets" ]; then
  while read -r op budget _; do
    case "$op" in ''|'#'*) continue ;; esac
    limit=$((budget * (100 + margin) / 100))
    for t in $tiles; do
      value=${per_node[$t,$op]:-}
      if [ -z "$value" ]; then
        echo "FAIL $op at $t tiles: not measured"; failures=$((failures + 1))
      elif [ "$value" -gt "$limit" ]; then
        echo "FAIL $op at $t tiles: $value instructions a node, budget $budget (+$margin% = $limit)"
        failures=$((failures + 1))
      else
        echo "ok   $op at $t tiles: $value instructions a node, budget $budget (+$margin% = $limit)"
      fi
    done
  done <"$budgets"
fi
exit $((failures > 0))
