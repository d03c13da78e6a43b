#!/usr/bin/env bash
# Runs clang-tidy with the root .clang-tidy over src/, using the compile commands of BUILD_DIR.
#
# A file is tidied again only when something its verdict depends on changed since tidy last found
# it clean: scripts/tidy-clean.sha256 records, for each clean file, a hash of the file, every
# project header it includes, the tidy configuration, the CMake files and the tools' versions
# (scripts/tidy_keys.py). A file whose hash is recorded would get the same verdict again. After a
# clean run the record is rewritten; commit it with the sources, so that CI tidies only what the
# commit changed. On a merge conflict in the record, keep either side: what differs is tidied.
# TRENNIX_TIDY_ALL=1 tidies every file whatever the record says.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
record="$root/scripts/tidy-clean.sha256"

keys=$(python3 "$root/scripts/tidy_keys.py" "$root" "$build")
if [ "${TRENNIX_TIDY_ALL:-0}" = 1 ] || [ ! -f "$record" ]; then
    todo=$(awk '{print $2}' <<<"$keys")
else
    todo=$(grep -vxFf "$record" <<<"$keys" | awk '{print $2}' || true)
fi
count=$(grep -c . <<<"$todo" || true)
total=$(grep -c . <<<"$keys")

if [ "$count" -gt 0 ]; then
    # Anchored, since run-clang-tidy takes its arguments as patterns.
    patterns=$(sed "s|^|^$root/|; s|\$|\$|" <<<"$todo")
    # shellcheck disable=SC2086
    run-clang-tidy -quiet -p "$build" -j "$(nproc)" $patterns >"$build/clang-tidy.log" 2>&1 || {
        grep -E 'error:|warning:' "$build/clang-tidy.log" | grep -v 'warnings generated' >&2 || true
        echo "tidy: findings above (full log: $build/clang-tidy.log)" >&2
        exit 1
    }
fi
grep -v '^-  ' <<<"$keys" >"$record.new" || true
mv "$record.new" "$record"
echo "tidy: src/ clean ($count of $total files tidied, the others unchanged since they were clean)"
