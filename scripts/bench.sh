#!/usr/bin/env bash
# Builds the benchmarks and prints their figures for 1,000,000 generated lines (or LINES): the
# filter on a box's text, the keys of lines, trennix-cli against the programs a user would pick
# instead on every shape of bench/gen_shapes.cpp, a key and a list against the plain filter, and
# the window driven offscreen (its marks of repeats too).
# Usage: scripts/bench.sh [LINES]
# More sizes and shapes: bench/compare.sh (its header says how).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
lines=${1:-1000000}
build="$here/build"
"$here/scripts/setup.sh" "$build"
cmake --build "$build" --target bench_core bench_keys bench_window bench_marks >/dev/null

echo "== Filter of a box's text: $lines lines =="
"$build/bench/bench_core" "$lines"

echo
echo "== Keys of lines: $lines records =="
"$build/bench/bench_keys" "$lines"

echo
echo "== trennix-cli against gawk, mawk, sort -u and the reference (median of 3) =="
"$here/bench/compare.sh" -r 3 "$lines"

echo
echo "== A key and a list as large as the input, against the plain filter =="
"$here/bench/keys_lists.sh" -r 3 "$lines"

echo
echo "== Window: the real MainWindow, offscreen =="
"$build/bench/bench_window" "$lines" 2>&1 | grep -v XDG_RUNTIME_DIR

echo
echo "== Window: the marks of repeats and the page of removed lines =="
"$build/bench/bench_marks" 2>&1 | grep -v XDG_RUNTIME_DIR
