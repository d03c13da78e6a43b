#!/usr/bin/env bash
# Sets up, builds and starts the program.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
cmake --build "$here/build" --target trennix
exec "$here/build/src/trennix" "$@"
