#!/usr/bin/env bash
# Times trennix-cli --sort against LC_ALL=C sort -u on the same lines (their outputs must be the
# same bytes), and the other orders against --sort text, in alternating rounds (medians; memory the
# peak resident size; cpu: user + system seconds, which a busy machine distorts less).
# The input: the mix shape with LF line breaks (repeats, short and long lines, Chinese text).
# Usage: bench/sort.sh [-r ROUNDS] [LINES] (defaults: 3 rounds, 10000000 lines)
#   TRENNIX_ARGS="..." passes options to every trennix-cli run (e.g. "--memory 256M");
#   TRENNIX_CLI=PATH times that binary instead of building one.
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
bench_arguments 10000000 "$@"
"$here/scripts/setup.sh" "$build" >/dev/null
[ -n "${TRENNIX_CLI:-}" ] && [ -x "$build/bench/gen_shapes" ] ||
    cmake --build "$build" --target trennix-cli gen_shapes >/dev/null
mix="$data/mix-$lines.txt"
[ -s "$mix" ] || "$build/bench/gen_shapes" mix "$lines" "$mix"
in="$data/mix-lf-$lines.txt"
[ -s "$in" ] || tr -d '\r' <"$mix" >"$in"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cli=${TRENNIX_CLI:-$build/src/cli/trennix-cli}
names=("sort -u" "--sort text" "--sort natural" "--sort pinyin" "--sort length" "--sort count" "no --sort")
for ((round = 0; round < rounds; round++)); do
    LC_ALL=C /usr/bin/time -f "%e %M %U %S" -a -o "$work/0.t" sort -u -T "$work" "$in" -o "$work/0.out"
    for i in 1 2 3 4 5 6; do
        opt=${names[$i]}
        [ "$opt" = "no --sort" ] && opt=""
        # shellcheck disable=SC2086
        /usr/bin/time -f "%e %M %U %S" -a -o "$work/$i.t" "$cli" --no-progress ${TRENNIX_ARGS:-} $opt \
            "$in" -o "$work/$i.out"
    done
done
if cmp -s "$work/0.out" "$work/1.out"; then same="identical"; else same="DIFFERENT"; fi
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
base=$(cut -d' ' -f1 "$work/1.t" | median)
printf '%s lines, %s MB, %s distinct; --sort text and sort -u outputs: %s\n' "$lines" \
    "$(stat -c %s "$in" | awk '{printf "%.0f", $1 / 1e6}')" "$(wc -l <"$work/0.out")" "$same"
cpu() { awk '{print $3 + $4}' "$1" | median; }
cbase=$(cpu "$work/1.t")
printf '%-16s %8s %12s %8s %12s %8s %10s\n' what seconds 'x sort text' cpu 'x sort text' 'MiB' \
    'lines out'
for i in "${!names[@]}"; do
    t=$(cut -d' ' -f1 "$work/$i.t" | median)
    c=$(cpu "$work/$i.t")
    printf '%-16s %8s %12.2f %8s %12.2f %8s %10s\n' "${names[$i]}" "$t" "$(echo "$t / $base" | bc -l)" \
        "$c" "$(echo "$c / $cbase" | bc -l)" \
        "$(cut -d' ' -f2 "$work/$i.t" | sort -n | tail -1 | awk '{printf "%.0f", $1 / 1024}')" \
        "$(wc -l <"$work/$i.out")"
done
[ "$same" = identical ]
