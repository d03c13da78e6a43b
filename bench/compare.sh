#!/usr/bin/env bash
# Times trennix-cli against the programs a user would pick instead, where they are on the machine:
# gawk '!seen[$0]++', mawk the same, `sort -u` (C locale, the quickest way to call it; it does not
# keep the order) and a minimal single-thread reference (bench/ref_dedup.cpp). Rounds alternate the
# programs, so that a machine that slows down slows them all; each figure is a median (the time
# to the millisecond, from the shell's clock around each run), memory the peak resident size. Every output is checked: the order-keeping ones equal gawk's line for line
# (CR LF read as LF), sort's equals our result sorted. Each file is read once before its timed
# runs, and the disk is synced before each run, outside the timing.
# Usage: bench/compare.sh [-r ROUNDS] [-s "SHAPES"] [-m] [LINES...]
#   defaults: 3 rounds, shapes "mix distinct one short long", lines 1000000 10000000
#   -m prints a Markdown table (for the README) instead of the plain one.
#   BENCH_DATA=folder keeps the generated files between runs (default: build/bench-data).
#   TRENNIX_ARGS="..." passes options to trennix-cli (e.g. "--memory 256M").
#   PEERS="reference sort" runs only those of the others (for the largest files, where gawk and
#   mawk take minutes).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=3
shapes="mix distinct one short long"
markdown=0
while getopts "r:s:m" o; do
    case $o in
    r) rounds=$OPTARG ;;
    s) shapes=$OPTARG ;;
    m) markdown=1 ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000000 10000000)

build="$here/build"
"$here/scripts/setup.sh" "$build" >/dev/null
cmake --build "$build" --target trennix-cli gen_shapes ref_dedup >/dev/null
data=${BENCH_DATA:-$build/bench-data}
mkdir -p "$data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The programs: a name and a command that reads $1 and writes $2.
names=(trennix)
commands=("\"$build/src/cli/trennix-cli\" ${TRENNIX_ARGS:-} \"\$1\" -o \"\$2\"")
wanted() { [ -z "${PEERS:-}" ] || [[ " $PEERS " == *" ${1%% *} "* ]]; }
add_peer() {
    command -v "$2" >/dev/null && wanted "$1" || return 0
    names+=("$1")
    commands+=("$3")
}
add_peer gawk gawk 'gawk "!seen[\$0]++" "$1" >"$2"'
add_peer mawk mawk 'mawk "!seen[\$0]++" "$1" >"$2"'
add_peer 'sort -u' sort 'LC_ALL=C sort -u "$1" >"$2"'
if wanted reference; then
    names+=(reference)
    commands+=("\"$build/bench/ref_dedup\" \"\$1\" \"\$2\"")
fi

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
peak_mb() { cut -d' ' -f2 "$1" | sort -n | tail -1 | awk '{printf "%.0f", $1 / 1024}'; }

if [ $markdown = 1 ]; then
    printf '| shape | lines | MB | trennix s | MiB |'
    for n in "${names[@]:1}"; do printf ' %s s | MiB |' "$n"; done
    printf ' × best peer | outputs |\n|---|---:|---:|---:|---:|'
    for _ in "${names[@]:1}"; do printf -- '---:|---:|'; done
    printf -- '---:|---|\n'
else
    printf '%-9s %10s %6s' shape lines MB
    for n in "${names[@]}"; do printf ' | %9s %6s' "$n" MiB; done
    printf ' | %6s | %s\n' 'x best' outputs
fi
for shape in $shapes; do
    for lines in "${sizes[@]}"; do
        in="$data/$shape-$lines.txt"
        [ -s "$in" ] || "$build/bench/gen_shapes" "$shape" "$lines" "$in"
        rm -f "$work"/*.t "$work"/*.m
        # Read once before the timed runs, so that no program (the first of the first round above
        # all) pays for bringing the file from the disk.
        cat "$in" >/dev/null
        for ((round = 0; round < rounds; round++)); do
            for i in "${!names[@]}"; do
                # What the run before wrote goes onto the disk first, outside the timings: we
                # sync our result before it is renamed into place, and that sync must not wait
                # for another program's writes (the others do not sync theirs).
                sync
                # The time to the millisecond (GNU time's is to the hundredth of a second, too
                # coarse for the smallest rows), the peak memory from GNU time.
                start=$EPOCHREALTIME
                /usr/bin/time -f "%M" -o "$work/$i.m" \
                    sh -c "${commands[$i]}" - "$in" "$work/$i.out"
                stop=$EPOCHREALTIME
                echo "$(echo "$stop - $start" | bc -l | awk '{printf "%.3f", $1}') $(cat "$work/$i.m")" \
                    >>"$work/$i.t"
            done
        done
        same=equal
        tr -d '\r' <"$work/0.out" >"$work/ours.lf"
        for i in "${!names[@]}"; do
            if [ "${names[$i]}" = 'sort -u' ]; then
                LC_ALL=C sort "$work/ours.lf" | cmp -s - <(tr -d '\r' <"$work/$i.out") ||
                    same="${names[$i]} DIFFERS"
            elif [ "$i" != 0 ]; then
                cmp -s "$work/ours.lf" <(tr -d '\r' <"$work/$i.out") || same="${names[$i]} DIFFERS"
            fi
        done
        ours=$(cut -d' ' -f1 "$work/0.t" | median)
        best=
        for i in "${!names[@]}"; do
            [ "$i" = 0 ] && continue
            t=$(cut -d' ' -f1 "$work/$i.t" | median)
            if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
        done
        mb=$(stat -c %s "$in" | awk '{printf "%.0f", $1 / 1e6}')
        ratio=-
        [ "$(echo "$best > 0" | bc -l)" = 1 ] &&
            ratio=$(echo "$ours / $best" | bc -l | awk '{printf "%.2f", $1}')
        if [ $markdown = 1 ]; then
            printf '| %s | %s | %s |' "$shape" "$lines" "$mb"
            for i in "${!names[@]}"; do
                printf ' %s | %s |' "$(cut -d' ' -f1 "$work/$i.t" | median)" "$(peak_mb "$work/$i.t")"
            done
            printf ' %s | %s |\n' "$ratio" "$same"
        else
            printf '%-9s %10s %6s' "$shape" "$lines" "$mb"
            for i in "${!names[@]}"; do
                printf ' | %9s %6s' "$(cut -d' ' -f1 "$work/$i.t" | median)" "$(peak_mb "$work/$i.t")"
            done
            printf ' | %6s | %s\n' "$ratio" "$same"
        fi
        rm -f "$work"/*.out "$work/ours.lf"
    done
done
