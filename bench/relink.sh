#!/usr/bin/env bash
# Times finding and relinking the data of the reference project once it
# moved: `kestrum check --by-directory`, `kestrum relink` by prefix (dry run
# and --write), and `kestrum relink --search` of every data file against a
# tree of 1,000,000 files.
#
#   bench/relink.sh BUILD_DIR WORK_DIR [TILES]
#
# TILES (default 2000, the reference size: 2,000 tiles of 50 samples, 304,002
# data files of which every other one exists) sizes the project. Its data/
# folder is moved out of the project's directory, so every descriptor names
# no file, and put into a tree that other files fill up to 1,000,000
# (names of their own: the search walks them all but finds only the data).
# Prints wall seconds (the median of three runs, with the lowest and the
# highest) and the largest peak resident memory of the three.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$2
tiles=${3:-2000}
tree_files=${TREE_FILES:-1000000}
kestrum=$build/tools/kestrum
mkdir -p "$work"
work=$(cd "$work" && pwd)
project=$work/ref/project.kpf

if [ ! -f "$project" ]; then
  "$build/bench/kestrum_reference_project" "$work/ref" "$tiles" >/dev/null
  mkdir -p "$work/tree"
  mv "$work/ref/data" "$work/tree/data"
  # The filler: files that are no data of the project, 1,000 to a directory.
  python3 - "$work/tree/filler" "$tree_files" "$(find "$work/tree/data" -type f | wc -l)" <<'PY'
import os, sys
root, total, have = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(max(0, total - have)):
    d = os.path.join(root, "d%d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(d, exist_ok=True)
    os.close(os.open(os.path.join(d, "f%d.raw" % i), os.O_CREAT | os.O_WRONLY, 0o644))
PY
fi
echo "project: $project ($(find "$work/tree" -type f | wc -l) files under $work/tree)"

# "median (low-high) s, peak KB" of three runs; exit statuses 0 and 1 count as done.
measure() {
  python3 - "$@" <<'PY'
import os, subprocess, sys, time
times, peak = [], 0
for _ in range(3):
    start = time.monotonic()
    child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    times.append(time.monotonic() - start)
    if os.waitstatus_to_exitcode(status) not in (0, 1):
        sys.exit("failed (%d): %s" % (os.waitstatus_to_exitcode(status), " ".join(sys.argv[1:])))
    peak = max(peak, usage.ru_maxrss)
times.sort()
print("%.2f (%.2f-%.2f) s, peak %d MB" % (times[1], times[0], times[2], peak // 1024))
PY
}

echo "check --by-directory:             $(measure "$kestrum" check --by-directory "$project")"
echo "relink by prefix (dry run):       $(measure "$kestrum" relink "$project" --from '$PROJECT/data' --to "$work/tree/data")"
# A fresh copy each time (beside the original, so "$PROJECT" means the
# same); the copy takes a few hundredths of a second of the time shown.
echo "relink by prefix --write:         $(measure sh -c 'cp "$1" "$2" && exec "$3" relink "$2" --from "\$PROJECT/data" --to "$4" --write' sh "$project" "$work/ref/copy.kpf" "$kestrum" "$work/tree/data")"
echo "relink --search (dry run):        $(measure "$kestrum" relink "$project" --search "$work/tree")"
"$kestrum" relink "$project" --search "$work/tree" | head -5 || true
