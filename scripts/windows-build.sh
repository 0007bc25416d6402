#!/usr/bin/env bash
# Builds the Windows x64 add-in with the mingw-w64 cross compiler: build/win/excel/qvl.xll, the
# file users load into a 64-bit Windows spreadsheet host (it needs no DLL beyond the system's).
# Also builds build/win/tests/windows/qvl_smoke_host.exe, the stand-in host the Wine smoke test
# runs (python3 tests/windows/smoke.py build/win), and the package whose qvl.xll that test takes.
# On a fresh Debian 12 machine (as root) it first installs the Debian packages that are missing,
# the cross compiler and Wine among them.
#
# Usage: bash scripts/windows-build.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/deps.sh
install_deps "${QVL_WINDOWS_PACKAGES[@]}"

jobs=$(nproc 2>/dev/null || echo 2)
# Configured once, and again only when the presets have changed since; the build itself re-runs
# CMake when a CMakeLists.txt changes and stamps the version resource with the time of the build.
if [ ! build/win/CMakeCache.txt -nt CMakePresets.json ]; then
    cmake --preset windows-cross >/dev/null
fi
cmake --build --preset windows-cross -j "$jobs"
# The user's zip, which the smoke test unpacks and takes qvl.xll from.
(cd build/win && cpack -G ZIP >/dev/null)
echo "== Windows add-in: build/win/excel/qvl.xll, packaged in build/win/qvl-*-windows-x64.zip"
