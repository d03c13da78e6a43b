#!/usr/bin/env bash
# Installs the built package with apt-get into a throwaway Debian 12 root (mmdebstrap, from
# Debian's mirrors), as a user would on a clean system: its dependencies must resolve there, and
# the installed programs must start with nothing but what the package pulled in. The root is
# removed afterwards. Needs root; skipped (exit 77) otherwise.
# Usage: check_install.sh DEB VERSION [PROGRAM...]   (PROGRAM: trennix-cli, where it is built)
set -euo pipefail
deb=$(realpath "$1") version=$2
shift 2
if [ "$(id -u)" != 0 ]; then
    echo "skipped: making a root to install into needs root"
    exit 77
fi
recommends=$(dpkg-deb -f "$deb" Recommends | tr -d ' ' | tr ',' ' ')

# Runs inside the new root once the package is installed there (its $1 is the root).
checks=$(
    cat <<CHECKS
set -e
run() {
    root=\$1
    shift
    chroot "\$root" env -u DISPLAY -u WAYLAND_DISPLAY LANG=C.UTF-8 "\$@"
}
dpkg-query --admindir="\$1/var/lib/dpkg" -W -f='installed: \${Package} \${Version}\n' trennix
for package in $recommends; do
    chroot "\$1" apt-cache policy "\$package" | grep -q 'Candidate: [0-9]'
    echo "recommended, and to be had: \$package"
done
test "\$(run "\$1" trennix --version)" = "trennix $version"
run "\$1" trennix --help | grep -q '用法：'
echo "trennix --version and --help (in Chinese) work"
set +e
run "\$1" timeout 5 env QT_QPA_PLATFORM=offscreen trennix /usr/share/doc/trennix/copyright
status=\$?
set -e
test \$status = 124 || { echo "the window did not stay open (status \$status)"; exit 1; }
echo "the window starts (offscreen) with a file and stays open"
CHECKS
)
for program in "$@"; do
    checks+=$'\n'"test \"\$(run \"\$1\" $program --version)\" = \"$program $version\""
    checks+=$'\n'"echo '$program --version works'"
done

# apt-get inside the root installs the package and what it depends on. What it recommends is
# only looked up: installing it too doubles the packages to set up, and the time. Packages that
# this machine's apt has downloaded before are linked in rather than fetched again (apt still
# chooses them from the mirror's index and checks them against it).
install="apt-get install -y --no-install-recommends -o DPkg::Options::=--force-unsafe-io"
time mmdebstrap --variant=apt --format=null --quiet --skip=essential/unlink \
    --setup-hook='mkdir -p "$1/var/cache/apt/archives"' \
    --setup-hook='cp -l /var/cache/apt/archives/*.deb "$1/var/cache/apt/archives/" 2>/dev/null || :' \
    --customize-hook="cp '$deb' \"\$1/tmp/\"" \
    --customize-hook="chroot \"\$1\" $install /tmp/$(basename "$deb") >\"\$1/tmp/apt.log\" 2>&1 ||
        { cat \"\$1/tmp/apt.log\"; exit 1; }" \
    --customize-hook="echo \"apt-get set up \$(grep -c '^Setting up' \"\$1/tmp/apt.log\") packages\"" \
    --customize-hook="$checks" \
    bookworm /dev/null
echo "install: the package installs into a clean Debian 12 root and its programs start"
