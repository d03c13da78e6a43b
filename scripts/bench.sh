#!/usr/bin/env bash
# Builds the benchmarks and prints their figures for 1,000,000 generated lines (or LINES): the
# filter on a box's text, the keys of lines, trennix-cli against gawk and a minimal reference on every shape of
# bench/gen_shapes.cpp, and the window driven offscreen.
# Usage: scripts/bench.sh [LINES]
# More sizes and shapes: bench/compare.sh (its header says how).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
lines=${1:-1000000}
build="$here/build"
"$here/scripts/setup.sh" "$build"
cmake --build "$build" --target bench_core bench_keys bench_window >/dev/null

echo "== Filter of a box's text: $lines lines =="
"$build/bench/bench_core" "$lines"

echo
echo "== Keys of lines: $lines records =="
"$build/bench/bench_keys" "$lines"

echo
echo "== trennix-cli against gawk '!seen[\$0]++' and the reference (median of 3) =="
"$here/bench/compare.sh" -r 3 "$lines"

echo
echo "== Window: the real MainWindow, offscreen =="
"$build/bench/bench_window" "$lines" 2>&1 | grep -v XDG_RUNTIME_DIR
