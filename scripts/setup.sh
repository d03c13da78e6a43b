#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and configures a build tree.
# Usage: scripts/setup.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
shift || true

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libqt6svg6 libgl-dev gawk bc
    libxxhash-dev libicu-dev libpcre2-dev libphonenumber-dev fonts-wqy-zenhei
    clang libclang-rt-14-dev clang-format clang-tidy
    time xvfb xauth xdotool xclip imagemagick openbox desktop-file-utils python3-xlib dpkg-dev file
    lintian appstream mmdebstrap gpg mount
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ ! -f "$build/CMakeCache.txt" ] || [ $# -gt 0 ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
fi
