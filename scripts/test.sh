#!/usr/bin/env bash
# Sets up, builds and runs every test, each test program built once: first the unit and widget
# tests and the fuzz corpora in an AddressSanitizer + UndefinedBehaviorSanitizer build, then, in
# the ordinary (optimized) build, the programs, the benchmarks and what must run there (ctest
# label "ordinary"): the large file-safety and memory rows the sanitizers would slow or skip, the
# Debian package, the smoke run under Xvfb, format and clang-tidy. ctest's summary is the last
# thing printed. The tests of each build run as many at once as the machine has cores; long test
# programs run in parts (tests/shards.h); clang-tidy looks again only at the files that changed
# since it last found them clean (scripts/check_tidy.sh). TRENNIX_TEST_ALL=1 builds and runs
# every test in the ordinary build too.
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
    ctest --output-on-failure -j "$jobs" -LE '^ordinary$')

build="$here/build-ci"
# The package installs only what is built, without building everything first.
"$here/scripts/setup.sh" "$build" -DTRENNIX_WERROR=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
echo "== Ordinary build =="
cd "$build"
if [ "${TRENNIX_TEST_ALL:-0}" = 1 ]; then
    cmake --build .
    ctest --output-on-failure -j "$jobs"
else
    cmake --build . --target trennix trennix-cli trennix_package_files trennix_benches \
        tst_filesafety tst_budget tst_cli
    ctest --output-on-failure -j "$jobs" -L '^ordinary$'
fi
