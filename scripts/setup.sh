#!/usr/bin/env bash
# Installs what building and testing kestrum needs on a fresh Debian
# machine; packages already present are left alone. Used by .ci/run,
# scripts/demo.sh and by hand.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
          libcli11-dev nlohmann-json3-dev libmimalloc-dev doxygen python3 python3-jsonschema help2man git
          snakemake make python3-dev pybind11-dev python3-pybind11 python3-pytest python3-setuptools
          python3-pip python3-venv python3-mypy)
need=()
for pkg in "${packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q "${need[@]}"
fi
