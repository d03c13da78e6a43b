#!/usr/bin/env bash
# Sets up, builds and runs every test: first the unit and widget tests and the fuzz corpus in an
# AddressSanitizer + UndefinedBehaviorSanitizer build, then everything in the ordinary build.
# ctest's summary is the last thing printed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

sanitized="$here/build-ci-asan"
"$here/scripts/setup.sh" "$sanitized" -DCMAKE_BUILD_TYPE=Debug -DTRENNIX_WERROR=ON \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake --build "$sanitized" --target tst_core tst_keys tst_files tst_fileio tst_engine tst_cli \
    tst_platform tst_window tst_options tst_keysandlists tst_results tst_windowkeeps tst_largefile \
    tst_importsave tst_importfiles tst_commandline tst_removed fuzz_corpus fuzz_changing_corpus \
    trennix-cli tst_filesafety
echo "== Sanitizer build (ASan + UBSan) =="
(cd "$sanitized" && ctest --output-on-failure -R '^(tst_|fuzz_)' -E '^tst_filesafety$')

build="$here/build-ci"
"$here/scripts/setup.sh" "$build" -DTRENNIX_WERROR=ON
cmake --build "$build"
echo "== Ordinary build =="
cd "$build"
ctest --output-on-failure
