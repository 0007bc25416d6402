#!/usr/bin/env bash
# Builds what a user is handed, through CPack, into build/packages/ (as root on a fresh Debian
# 12 machine it first installs what is missing, the cross compiler among it):
#   qvl-VERSION-windows-x64.zip       qvl.xll, the example workbook and the quick start
#   qvl-VERSION-linux-x86_64.tar.gz   qvl-host, qvl.xll, the examples, the README and the
#                                     Python package's wheel
# VERSION is the project's, from CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/deps.sh
install_deps "${QVL_CROSS_PACKAGES[@]}"

export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)}
for workflow in package-windows package-linux; do
    echo "== $workflow"
    cmake --workflow --preset "$workflow"
done
ls -l build/packages/qvl-*
