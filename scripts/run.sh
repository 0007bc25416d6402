#!/usr/bin/env bash
# The main command. On a fresh Debian 12 machine (as root) it installs what is missing, builds
# qvl.xll and qvl-host (the release preset), prices the reference swap with
# examples/reference.qvl and then serves the cached objects over HTTP until Ctrl-C.
#
# Usage: bash scripts/run.sh [PORT]   (default 50080; QVL_BUILD_DIR names another build folder)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/deps.sh
install_deps

build=${QVL_BUILD_DIR:-build/release}
jobs=$(nproc 2>/dev/null || echo 2)
echo "== building qvl.xll and qvl-host in $build" >&2
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j "$jobs" --target qvl_host_program

echo "== $build/bin/qvl-host examples/reference.qvl --serve ${1:-}" >&2
exec "$build/bin/qvl-host" examples/reference.qvl --serve "$@"
