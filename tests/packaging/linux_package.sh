#!/usr/bin/env bash
# What a Linux user is handed works on its own, away from the source tree: the unpacked
# package reproduces the reference transcript and recalculates the example workbook, and its
# wheel installs with pip into a fresh virtual environment without network and runs the example
# script there.
#
# Usage: bash tests/packaging/linux_package.sh build/package-linux/qvl-VERSION-linux-x86_64.tar.gz
set -euo pipefail
package=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tar -xzf "$package" -C "$work"
root=$(echo "$work"/qvl-*)
cd "$root/examples"
../bin/qvl-host reference.qvl | cmp - reference.out
../bin/qvl-host --workbook qvl-example.xlsx --out "$work/recalculated.xlsx" >/dev/null

/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index --no-deps "$root"/python/qvl-*.whl
cd "$work"
"$work/venv/bin/python" "$root/examples/python/upfront_grid.py" --out "$work"
test "$(wc -l <"$work/upfront_grid.csv")" -gt 300
echo "== the Linux package runs on its own: transcript, workbook, wheel and example script"
