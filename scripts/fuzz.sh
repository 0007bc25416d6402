#!/usr/bin/env bash
# Long fuzz runs. Builds the fuzz targets (the fuzz preset, in build/fuzz) and runs them one
# after another, each for SECONDS (default 600), starting from its committed seed corpus
# tests/fuzz/corpus/<target> and from what earlier runs found (build/fuzz/tests/fuzz/corpus/
# <target>). A fault stops the script with the input that caused it in
# build/fuzz/tests/fuzz/artifacts/<target>/; keep a copy in tests/fuzz/corpus/<target>/ once it
# is fixed, so every later run tries it again.
#
# Usage: bash scripts/fuzz.sh [SECONDS [TARGET...]]
#   targets: dates script_line csv range_readers json_api formula workbook (default: all)
#   QVL_FUZZ_FLAGS adds libFuzzer options, e.g. QVL_FUZZ_FLAGS="-runs=10000000".
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(dates script_line csv range_readers json_api formula workbook)

source scripts/deps.sh
install_deps

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)"

dir=build/fuzz/tests/fuzz
for target in "${targets[@]}"; do
    echo "== fuzz_$target for $seconds s"
    dict=()
    [ -f "tests/fuzz/$target.dict" ] && dict=("-dict=tests/fuzz/$target.dict")
    mkdir -p "$dir/corpus/$target" "$dir/artifacts/$target"
    # shellcheck disable=SC2086
    "$dir/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target/" "${dict[@]}" \
        ${QVL_FUZZ_FLAGS:-} "$dir/corpus/$target" "tests/fuzz/corpus/$target" 2>&1 |
        grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)'
done
