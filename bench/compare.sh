#!/usr/bin/env bash
# Times trennix-cli against gawk '!seen[$0]++' and against a minimal single-thread reference
# (bench/ref_dedup.cpp) on generated files of several shapes, in alternating rounds, and checks
# that every output equals gawk's line for line (CR LF read as LF).
# Usage: bench/compare.sh [-r ROUNDS] [-s "SHAPES"] [LINES...]
#   defaults: 3 rounds, shapes "mix distinct one long short", lines 1000000 10000000
#   BENCH_DATA=folder keeps the generated files between runs (default: build/bench-data).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=3
shapes="mix distinct one long short"
while getopts "r:s:" o; do
    case $o in
    r) rounds=$OPTARG ;;
    s) shapes=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000000 10000000)

build="$here/build"
"$here/scripts/setup.sh" "$build"
cmake --build "$build" --target trennix-cli gen_shapes ref_dedup >/dev/null
data=${BENCH_DATA:-$build/bench-data}
mkdir -p "$data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a command, appending "seconds peak-KiB" to the named file.
measure() {
    local into=$1
    shift
    /usr/bin/time -f "%e %M" -a -o "$into" "$@"
}
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

printf '%-9s %11s %8s | %8s %8s %6s | %8s %6s | %7s %7s %7s | %s\n' shape lines MB \
    ours gawk ratio ref 'x ref' 'RSS MB' gawk ref output
for shape in $shapes; do
    for lines in "${sizes[@]}"; do
        in="$data/$shape-$lines.txt"
        [ -s "$in" ] || "$build/bench/gen_shapes" "$shape" "$lines" "$in"
        rm -f "$work"/*.t
        for ((round = 0; round < rounds; round++)); do
            measure "$work/ours.t" "$build/src/cli/trennix-cli" "$in" -o "$work/ours.out"
            measure "$work/gawk.t" sh -c 'gawk "!seen[\$0]++" "$1" >"$2"' - "$in" "$work/gawk.out"
            measure "$work/ref.t" "$build/bench/ref_dedup" "$in" "$work/ref.out"
        done
        ours=$(cut -d' ' -f1 "$work/ours.t" | median)
        gawk=$(cut -d' ' -f1 "$work/gawk.t" | median)
        ref=$(cut -d' ' -f1 "$work/ref.t" | median)
        rss() { cut -d' ' -f2 "$1" | sort -n | tail -1 | awk '{printf "%.0f", $1 / 1024}'; }
        same=equal
        cmp -s <(tr -d '\r' <"$work/ours.out") <(tr -d '\r' <"$work/gawk.out") || same=DIFFERS
        printf '%-9s %11s %8.0f | %8.2f %8.2f %6.2f | %8.2f %6.2f | %7s %7s %7s | %s\n' \
            "$shape" "$lines" "$(stat -c %s "$in" | awk '{print $1 / 1e6}')" \
            "$ours" "$gawk" "$(echo "$ours / $gawk" | bc -l)" "$ref" "$(echo "$ours / $ref" | bc -l)" \
            "$(rss "$work/ours.t")" "$(rss "$work/gawk.t")" "$(rss "$work/ref.t")" "$same"
    done
done
