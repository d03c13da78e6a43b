#!/usr/bin/env bash
# Builds the libFuzzer target with clang (ASan + UBSan) and fuzzes for SECONDS (default 60),
# starting from a copy of fuzz/corpus. New inputs worth keeping can be merged back with
#   build-fuzz/fuzz/fuzz_import_filter -merge=1 fuzz/corpus WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$here/build-fuzz"
"$here/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTRENNIX_FUZZ=ON "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer"
cmake --build "$build" --target fuzz_import_filter
work=$(mktemp -d)
cp "$here"/fuzz/corpus/* "$work"/
echo "fuzzing for $seconds s; working corpus in $work"
"$build/fuzz/fuzz_import_filter" -max_total_time="$seconds" -max_len=4096 "$work"
