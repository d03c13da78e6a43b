#!/usr/bin/env bash
# Times trennix-cli with a key and with a list as large as the input against the default filter,
# in alternating rounds (medians; memory the peak resident size).
# The input: "NUMBER<TAB>LINE" for each line of the mix shape, so that column 2 repeats as the
# mix does and the whole line never does. The list: column 2 of every other input line and as
# many lines that are not in the input.
# Usage: bench/keys_lists.sh [-r ROUNDS] [LINES] (defaults: 3 rounds, 1000000 lines)
#   TRENNIX_ARGS="..." passes options to every run (e.g. "--memory 256M").
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
bench_arguments 1000000 "$@"
"$here/scripts/setup.sh" "$build" >/dev/null
cmake --build "$build" --target trennix-cli gen_shapes >/dev/null
mix="$data/mix-$lines.txt"
[ -s "$mix" ] || "$build/bench/gen_shapes" mix "$lines" "$mix"
in="$data/keyed-$lines.tsv"
list="$data/list-$lines.tsv"
if [ ! -s "$list" ]; then
    tr -d '\r' <"$mix" | awk '{print NR "\t" $0}' >"$in"
    tr -d '\r' <"$mix" | awk '
        NR % 2 == 0 {print "x\t" $0}
        NR % 2 == 1 {print "x\tnot in the input " NR}' >"$list"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cli="$build/src/cli/trennix-cli"
names=("default" "--field 2" "--exclude" "--field 2 --exclude")
options=("" "--separator tab --field 2" "--exclude $list" "--separator tab --field 2 --exclude $list")
for ((round = 0; round < rounds; round++)); do
    for i in "${!names[@]}"; do
        # shellcheck disable=SC2086
        /usr/bin/time -f "%e %M" -a -o "$work/$i.t" "$cli" ${TRENNIX_ARGS:-} ${options[$i]} \
            "$in" -o "$work/$i.out"
    done
done
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
base=$(cut -d' ' -f1 "$work/0.t" | median)
printf '%s lines, %s MB; list %s MB\n' "$lines" "$(stat -c %s "$in" | awk '{printf "%.0f", $1 / 1e6}')" \
    "$(stat -c %s "$list" | awk '{printf "%.0f", $1 / 1e6}')"
printf '%-22s %8s %8s %8s %10s\n' what seconds 'x plain' 'MiB' 'lines out'
for i in "${!names[@]}"; do
    t=$(cut -d' ' -f1 "$work/$i.t" | median)
    printf '%-22s %8s %8.2f %8s %10s\n' "${names[$i]}" "$t" "$(echo "$t / $base" | bc -l)" \
        "$(cut -d' ' -f2 "$work/$i.t" | sort -n | tail -1 | awk '{printf "%.0f", $1 / 1024}')" \
        "$(wc -l <"$work/$i.out")"
done
