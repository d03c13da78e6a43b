# Sourced by the benchmark scripts: reads their common arguments, [-r ROUNDS] [LINES], and sets
# here (the project), rounds (3 by default), lines (the script's default, the first argument of
# bench_arguments), build and data (where the generated inputs are kept, BENCH_DATA if set).
# shellcheck shell=bash
bench_arguments() {
    local default_lines=$1
    shift
    here=$(cd "$(dirname "${BASH_SOURCE[1]}")/.." && pwd)
    rounds=3
    local o OPTIND=1
    while getopts "r:" o; do
        case $o in
        r) rounds=$OPTARG ;;
        *) exit 2 ;;
        esac
    done
    shift $((OPTIND - 1))
    lines=${1:-$default_lines}
    build="$here/build"
    data=${BENCH_DATA:-$build/bench-data}
    mkdir -p "$data"
}

# Makes (once) and names in $in a list of "词N<TAB>count" lines, $lines of them with about a
# tenth as many words, and sets cli to the trennix-cli to time (TRENNIX_CLI, or built here).
bench_wordcounts() {
    [ -n "${TRENNIX_CLI:-}" ] || cmake --build "$build" --target trennix-cli >/dev/null
    cli=${TRENNIX_CLI:-$build/src/cli/trennix-cli}
    in="$data/wordcounts-$lines.txt"
    [ -s "$in" ] || awk -v n="$lines" 'BEGIN { srand(32); for (i = 0; i < n; i++)
        printf "词%d\t%d\n", int(rand() * n / 10), int(rand() ^ 3 * 10 ^ int(rand() * 9)) }' >"$in"
}
