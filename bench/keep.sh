#!/usr/bin/env bash
# Times trennix-cli --field 1 --keep first|last|longest|shortest on a word<TAB>count list, in
# memory and partitioned under a small budget, and checks that both ways give the same bytes
# (medians of the rounds; memory the peak resident size).
# Usage: bench/keep.sh [-r ROUNDS] [LINES] (defaults: 3 rounds, 2000000 lines, 200000 words)
#   TRENNIX_CLI=PATH times that binary instead of building one; SMALL=SIZE the small budget.
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
bench_arguments 2000000 "$@"
bench_wordcounts
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
small=${SMALL:-16M}
modes=(first last longest shortest)
for ((round = 0; round < rounds; round++)); do
    for m in "${modes[@]}"; do
        for way in memory parts; do
            budget=""
            [ $way = parts ] && budget="--memory $small"
            # shellcheck disable=SC2086
            /usr/bin/time -f "%e %M" -a -o "$work/$m.$way.t" "$cli" --no-progress --encoding utf-8 \
                --field 1 --keep "$m" $budget "$in" -o "$work/$m.$way.out"
        done
    done
done
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
printf '%s lines, %s MB; small budget %s\n' "$lines" \
    "$(stat -c %s "$in" | awk '{printf "%.0f", $1 / 1e6}')" "$small"
printf '%-10s %10s %8s %10s %8s %10s %s\n' keep 'memory s' MiB 'parts s' MiB 'lines out' same
base=""
for m in "${modes[@]}"; do
    same=identical
    cmp -s "$work/$m.memory.out" "$work/$m.parts.out" || same=DIFFERENT
    printf '%-10s %10s %8s %10s %8s %10s %s\n' "$m" \
        "$(cut -d' ' -f1 "$work/$m.memory.t" | median)" \
        "$(cut -d' ' -f2 "$work/$m.memory.t" | sort -n | tail -1 | awk '{printf "%.0f", $1 / 1024}')" \
        "$(cut -d' ' -f1 "$work/$m.parts.t" | median)" \
        "$(cut -d' ' -f2 "$work/$m.parts.t" | sort -n | tail -1 | awk '{printf "%.0f", $1 / 1024}')" \
        "$(wc -l <"$work/$m.memory.out")" "$same"
done
