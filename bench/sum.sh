#!/usr/bin/env bash
# Times trennix-cli --sum 2 against the plain filter with the same key (--field 1) on a
# word<TAB>count list, in memory and partitioned under a small budget, prints the ratio and checks
# that both ways of --sum give the same bytes (medians of the rounds; memory the peak resident
# size).
# Usage: bench/sum.sh [-r ROUNDS] [LINES] (defaults: 3 rounds, 2000000 lines, 200000 words)
#   TRENNIX_CLI=PATH times that binary instead of building one; SMALL=SIZE the small budget.
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
bench_arguments 2000000 "$@"
bench_wordcounts
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
small=${SMALL:-16M}
runs=(plain sum)
declare -A args=([plain]="--field 1" [sum]="--sum 2")
for ((round = 0; round < rounds; round++)); do
    for r in "${runs[@]}"; do
        for way in memory parts; do
            budget=""
            [ $way = parts ] && budget="--memory $small"
            # shellcheck disable=SC2086
            /usr/bin/time -f "%e %M" -a -o "$work/$r.$way.t" "$cli" --no-progress --encoding utf-8 \
                ${args[$r]} $budget "$in" -o "$work/$r.$way.out"
        done
    done
done
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
seconds() { cut -d' ' -f1 "$work/$1.t" | median; }
mib() { cut -d' ' -f2 "$work/$1.t" | sort -n | tail -1 | awk '{printf "%.0f", $1 / 1024}'; }
printf '%s lines, %s MB; small budget %s\n' "$lines" \
    "$(stat -c %s "$in" | awk '{printf "%.0f", $1 / 1e6}')" "$small"
printf '%-12s %10s %8s %10s %8s %10s %s\n' run 'memory s' MiB 'parts s' MiB 'lines out' same
for r in "${runs[@]}"; do
    same=identical
    cmp -s "$work/$r.memory.out" "$work/$r.parts.out" || same=DIFFERENT
    printf '%-12s %10s %8s %10s %8s %10s %s\n' "${args[$r]}" "$(seconds $r.memory)" \
        "$(mib $r.memory)" "$(seconds $r.parts)" "$(mib $r.parts)" \
        "$(wc -l <"$work/$r.memory.out")" "$same"
done
for way in memory parts; do
    printf '%s: --sum 2 takes %s times the plain filter (target at most 1.5)\n' "$way" \
        "$(awk -v a="$(seconds sum.$way)" -v b="$(seconds plain.$way)" \
            'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')"
done
