#!/usr/bin/env bash
# Sets up, builds and runs every test. ctest's summary is the last thing printed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-ci"
"$here/scripts/setup.sh" "$build" -DTRENNIX_WERROR=ON
cmake --build "$build"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure
