#!/usr/bin/env bash
# Fails when a C++ source of the project is not formatted with the root .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
find src tests bench fuzz -name '*.cpp' -o -name '*.h' | sort | xargs clang-format --dry-run --Werror
echo "format: all sources formatted"
