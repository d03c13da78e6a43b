#!/usr/bin/env bash
# Builds the benchmarks and prints their figures for 1,000,000 generated lines (or LINES).
# Usage: scripts/bench.sh [LINES]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
lines=${1:-1000000}
build="$here/build"
"$here/scripts/setup.sh" "$build"
cmake --build "$build" --target bench_core filter_file gen_text bench_window >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== Core: filter and count on $lines lines =="
"$build/bench/bench_core" "$lines"

echo
echo "== File: filter_file against gawk '!seen[\$0]++', alternating, 5 rounds =="
"$build/bench/gen_text" "$work/in.txt" "$lines"
ls -l "$work/in.txt" | awk '{printf "input: %.1f MB\n", $5 / 1e6}'
now() { date +%s.%N; }
ours=() theirs=()
for round in 1 2 3 4 5; do
    t0=$(now); "$build/bench/filter_file" "$work/in.txt" "$work/ours.txt" 2>/dev/null; t1=$(now)
    gawk '!seen[$0]++' "$work/in.txt" >"$work/gawk.txt"; t2=$(now)
    ours+=("$(echo "$t1 - $t0" | bc)") theirs+=("$(echo "$t2 - $t1" | bc)")
    printf 'round %d: filter_file %.3f s, gawk %.3f s\n' "$round" "${ours[-1]}" "${theirs[-1]}"
done
median() { printf '%s\n' "$@" | sort -n | sed -n 3p; }
mo=$(median "${ours[@]}") mg=$(median "${theirs[@]}")
printf 'median: filter_file %.3f s, gawk %.3f s, ratio %.2f\n' "$mo" "$mg" "$(echo "$mo / $mg" | bc -l)"
if cmp -s <(tr -d '\r' <"$work/ours.txt") <(tr -d '\r' <"$work/gawk.txt"); then
    echo "output: equal to gawk's line for line (line ends aside)"
else
    echo "output: DIFFERS from gawk's"
    exit 1
fi
"$build/bench/filter_file" "$work/in.txt" "$work/ours.txt"

echo
echo "== Window: the real MainWindow, offscreen =="
"$build/bench/bench_window" "$lines" 2>&1 | grep -v XDG_RUNTIME_DIR
