#!/usr/bin/env bash
# Runs clang-tidy with the root .clang-tidy over src/, using the compile commands of BUILD_DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
files=$(find "$root/src" -name '*.cpp' | sort)
run-clang-tidy -quiet -p "$build" -j "$(nproc)" $files >"$build/clang-tidy.log" 2>&1 || {
    grep -E 'error:|warning:' "$build/clang-tidy.log" | grep -v 'warnings generated' >&2 || true
    echo "tidy: findings above (full log: $build/clang-tidy.log)" >&2
    exit 1
}
echo "tidy: src/ clean"
