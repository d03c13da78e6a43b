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
