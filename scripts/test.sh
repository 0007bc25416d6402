#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), builds the Release and the sanitizer
# configurations and runs the whole test suite in both, then cross-builds the Windows qvl.xll
# and smoke-tests it under Wine. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/deps.sh
install_deps "${QVL_WINDOWS_PACKAGES[@]}"

jobs=$(nproc 2>/dev/null || echo 2)

run_config() {
    local dir=$1
    shift
    echo "== configure $dir"
    cmake -S . -B "$dir" "$@"
    echo "== build $dir"
    cmake --build "$dir" -j "$jobs"
    echo "== test $dir"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_config build/release -DCMAKE_BUILD_TYPE=Release
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_config build/asan -DCMAKE_BUILD_TYPE=Debug -DQVL_SANITIZE=ON -DQVL_BUILD_BENCH=OFF
# The HTTP service's tests run two threads over the shared cache: check them for races too.
echo "== configure build/tsan"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVL_TSAN=ON -DQVL_BUILD_BENCH=OFF
echo "== build build/tsan (http_tests)"
cmake --build build/tsan -j "$jobs" --target http_tests
echo "== test build/tsan"
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/http/http_tests
# The Windows add-in: cross-built with mingw-w64, then smoke-tested under Wine.
echo "== build build/win (Windows x64, mingw-w64)"
bash scripts/windows-build.sh
echo "== test build/win (Wine smoke test)"
python3 tests/windows/smoke.py build/win
echo "== all tests passed"
