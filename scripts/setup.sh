#!/usr/bin/env bash
# Installs what kestrum needs on a Debian machine; packages already present
# are left alone, and nothing is installed only because another package
# recommends it.
#
#   scripts/setup.sh           everything the test command needs (.ci/run)
#   scripts/setup.sh --build   only what building the library and the tool
#                              needs (scripts/demo.sh)
set -euo pipefail

# Building libkestrum, libkestrum-toolkit and the kestrum tool.
build=(g++ cmake ninja-build pkg-config libmimalloc-dev libcli11-dev nlohmann-json3-dev)
# The test command on top of that, each for a test that names it:
test=(libgtest-dev libgmock-dev          # the C++ test suites
      libbenchmark-dev libsqlite3-dev    # kestrum_bench and its SQLite baseline
      doxygen                            # the header reference and its completeness test
      python3 python3-jsonschema         # the schema, layer and export-list checks
      help2man                           # the man page's check against --help
      git                                # project files under git diff
      make snakemake                     # plans run by the engines they are written for
      munge slurmctld slurmd slurm-client  # and on a one-node Slurm cluster
      python3-dev pybind11-dev python3-pybind11 python3-pytest
      python3-setuptools python3-pip python3-venv     # the Python package, its tests, pip install
      python3-mypy                       # and its type stubs
      valgrind)                          # the instruction budgets (bench/instructions.sh)

packages=("${build[@]}")
case "${1:-}" in
  --build) ;;
  "") packages+=("${test[@]}") ;;
  *) echo "usage: scripts/setup.sh [--build]" >&2; exit 2 ;;
esac

need=()
for pkg in "${packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${need[@]}"
fi
