#!/usr/bin/env bash
# Builds a libFuzzer target with clang (ASan + UBSan) and fuzzes for SECONDS (default 60),
# starting from a copy of its corpus. Inputs go up to MAX_LEN bytes (default 64 KiB).
#   fuzz_import_filter   detection, decoding, the filter and the engine; it also tiles one input
#                        in 32 past one of the codec's size thresholds (up to 4 MiB)
#   fuzz_changing_input  the input file changed while the engine reads it (corpus-changing)
# New inputs worth keeping can be merged back with
#   build-fuzz/fuzz/TARGET -merge=1 fuzz/CORPUS WORK_DIR
# Usage: scripts/fuzz.sh [SECONDS] [MAX_LEN] [TARGET]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
max_len=${2:-65536}
target=${3:-fuzz_import_filter}
corpus=corpus
[ "$target" = fuzz_changing_input ] && corpus=corpus-changing
build="$here/build-fuzz"
"$here/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTRENNIX_FUZZ=ON "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer"
cmake --build "$build" --target "$target"
work=$(mktemp -d)
cp "$here/fuzz/$corpus"/* "$work"/
echo "fuzzing $target for $seconds s, inputs up to $max_len bytes; working corpus in $work"
"$build/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" \
    -len_control=0 -rss_limit_mb=4096 -timeout=120 -print_final_stats=1 "$work"
