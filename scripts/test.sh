#!/usr/bin/env bash
# Sets up, builds and runs every test: first the unit and widget tests and the fuzz corpora in an
# AddressSanitizer + UndefinedBehaviorSanitizer build, then everything in the ordinary build.
# ctest's summary is the last thing printed. The tests of each build run as many at once as the
# machine has cores; clang-tidy looks again only at the files that changed since it last found
# them clean (scripts/check_tidy.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

sanitized="$here/build-ci-asan"
"$here/scripts/setup.sh" "$sanitized" -DCMAKE_BUILD_TYPE=Debug -DTRENNIX_WERROR=ON \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake --build "$sanitized" --target trennix_tests fuzz_corpus fuzz_changing_corpus \
    fuzz_aliases_corpus fuzz_patterns_corpus trennix-cli
echo "== Sanitizer build (ASan + UBSan) =="
# The sanitizers make a test function many times slower than QtTest's five minutes expect.
(cd "$sanitized" && QTEST_FUNCTION_TIMEOUT=1200000 \
    ctest --output-on-failure -j "$jobs" -R '^(tst_|fuzz_)' -E '^tst_filesafety$')

build="$here/build-ci"
"$here/scripts/setup.sh" "$build" -DTRENNIX_WERROR=ON
cmake --build "$build"
echo "== Ordinary build =="
cd "$build"
ctest --output-on-failure -j "$jobs"
