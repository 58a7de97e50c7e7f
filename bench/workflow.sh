#!/usr/bin/env bash
# Times `kestrum workflow` against `kestrum ready` on the same project, and
# the engines' planning of what it writes.
#
#   bench/workflow.sh BUILD_DIR WORK_DIR [TILES]
#
# TILES (default 2000, the reference size, 50 samples each) sizes the full
# project; a sixteenth and a quarter of it are made as well. Prints seconds
# of wall time, the best of three for kestrum's own commands, one run for
# the engines (Snakemake's dry runs of a per-sample graph take minutes and
# are cut off after 10).
set -euo pipefail
build=$(cd "$1" && pwd)
work=$2
tiles=${3:-2000}
kestrum=$build/tools/kestrum
maker=$build/bench/kestrum_workflow_project
mkdir -p "$work"
work=$(cd "$work" && pwd)

# Seconds the command takes, its output discarded; exit statuses 0 and 1
# (some jobs left out, a process not ready) both count as done.
seconds() {
  local start=$EPOCHREALTIME status=0
  "$@" >/dev/null 2>&1 || status=$?
  local end=$EPOCHREALTIME
  [ "$status" -le 1 ] || { echo "failed ($status): $*" >&2; return 1; }
  python3 -c "print(f'{$end - $start:.2f}')"
}
best_of_3() {
  local best=
  for _ in 1 2 3; do
    local t
    t=$(seconds "$@")
    best=$(python3 -c "print(min(x for x in [$t, ${best:-$t}]))")
  done
  echo "$best"
}

for size in full quarter sixteenth; do
  case $size in full) n=$tiles ;; quarter) n=$((tiles / 4)) ;; sixteenth) n=$((tiles / 16)) ;; esac
  dir=$work/$size
  [ -f "$dir/workflow.kpf" ] || "$maker" "$dir" "$n" >/dev/null
  echo "== $size: $n tiles of 50 samples ($dir/workflow.kpf)"
  echo "kestrum ready:                          $(best_of_3 "$kestrum" ready "$dir/workflow.kpf")"
  echo "kestrum workflow --engine make:         $(best_of_3 "$kestrum" workflow "$dir/workflow.kpf" --engine make -o "$dir/Makefile" --force)"
  echo "kestrum workflow --engine snakemake:    $(best_of_3 "$kestrum" workflow "$dir/workflow.kpf" --engine snakemake -o "$dir/Snakefile" --force)"
  "$kestrum" workflow "$dir/workflow.kpf" --engine snakemake --per-tile -o "$dir/Snakefile.tiles" --force >/dev/null
  "$kestrum" workflow "$dir/workflow.kpf" --engine make --per-tile -o "$dir/Makefile.tiles" --force >/dev/null
  if [ "$size" = full ]; then
    echo "make -n (a job per sample):             $(seconds make -n -f "$dir/Makefile")"
    echo "make -n (--per-tile):                   $(seconds make -n -f "$dir/Makefile.tiles")"
  else
    (cd "$dir" && echo "snakemake -n (a job per sample):        $(seconds timeout 600 snakemake -n -j2 -s Snakefile)")
    (cd "$dir" && echo "snakemake -n (--per-tile):              $(seconds timeout 600 snakemake -n -j2 -s Snakefile.tiles)")
  fi
done
