#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), then builds and tests the CI configurations of
# CMakePresets.json, each with warnings as errors: the whole suite in Release (build/ci-release),
# the Python package's pytest files included, and under AddressSanitizer +
# UndefinedBehaviorSanitizer (build/ci-asan), the HTTP service's tests under ThreadSanitizer
# (build/ci-tsan), the fuzz targets built with clang's libFuzzer and run for QVL_FUZZ_SECONDS
# (20) each under both sanitizers (build/ci-fuzz), and the Windows qvl.xll cross-built with
# mingw-w64 and packaged (build/ci-windows), then smoke-tested under Wine from the unpacked
# package; last the Linux package (build/packages), unpacked and run away from the source tree,
# its Python wheel installed into a fresh virtual environment. The Release and sanitizer suites include the workbook tests, which open what qvl-host
# writes in LibreOffice Calc. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/deps.sh
install_deps "${QVL_WINDOWS_PACKAGES[@]}" "${QVL_TEST_PACKAGES[@]}"

jobs=$(nproc 2>/dev/null || echo 2)
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$jobs}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$jobs}

for workflow in ci-release ci-asan ci-tsan ci-fuzz ci-windows; do
    echo "== $workflow"
    cmake --workflow --preset "$workflow"
done
echo "== Wine smoke test of the package in build/ci-windows"
python3 tests/windows/smoke.py build/ci-windows
echo "== the Linux package, unpacked and run away from the source tree"
cmake --workflow --preset package-linux
bash tests/packaging/linux_package.sh build/packages/qvl-*-linux-x86_64.tar.gz
echo "== all tests passed"
