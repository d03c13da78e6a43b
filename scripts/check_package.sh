#!/usr/bin/env bash
# Checks of the Debian package built in BUILD_DIR (cpack -G DEB).
# Usage: check_package.sh lintian|hardening BUILD_DIR VERSION
#        check_package.sh contents BUILD_DIR VERSION HOMEPAGE PROGRAM...
#   lintian   lintian reports no error and no warning, and no hardening hint; every override in
#             packaging/lintian-overrides is still needed
#   hardening every program in the package is a position-independent executable with full RELRO
#             (read-only relocations, bound at start) and the stack protector; lintian checks
#             the checked (fortified) functions
#   contents  the files in the package are the expected ones; the control fields; the versions of
#             the changelog, the AppStream release and the programs agree; the manual pages
#             document every option the programs accept; the copyright file carries LICENSE.
#             PROGRAM: the built programs (trennix, and trennix-cli where it is built).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
check=$1 build=$2 version=$3
deb="$build/trennix_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "no package $deb" >&2; exit 1; }
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

if [ "$check" = lintian ]; then
    out=$(lintian --display-info --pedantic "$deb" 2>&1 | grep -v 'running with root privileges' ||
        true)
    echo "lintian $(lintian --version | awk '{print $2}') on $(basename "$deb"):"
    echo "${out:-(nothing reported)}"
    grep -E '^[EW]: ' <<<"$out" && fail "lintian reports errors or warnings"
    grep -E 'hardening-' <<<"$out" && fail "the binaries miss some of the hardening"
    grep -E 'unused-override|mismatched-override' <<<"$out" && fail "an override is no longer needed"
    exit $failed
fi

if [ "$check" = hardening ]; then
    unpacked=$(mktemp -d)
    trap 'rm -rf "$unpacked"' EXIT
    dpkg-deb -x "$deb" "$unpacked"
    for program in "$unpacked"/usr/bin/*; do
        name=${program#"$unpacked"} before=$failed
        # (Whole outputs first: grep -q ending a pipe early would fail it under pipefail.)
        segments=$(readelf -lW "$program")
        flags=$(readelf -dW "$program" | grep FLAGS_1 || true)
        symbols=$(readelf --dyn-syms -W "$program")
        grep -q GNU_RELRO <<<"$segments" || fail "$name: no RELRO"
        grep -q ' NOW' <<<"$flags" || fail "$name: relocations not bound at start (no BIND_NOW)"
        grep -q ' PIE' <<<"$flags" || fail "$name: not a position-independent executable"
        grep -q ' __stack_chk_fail@' <<<"$symbols" || fail "$name: no stack protector"
        [ $failed = "$before" ] && echo "$name: PIE, RELRO, BIND_NOW, stack protector"
    done
    exit $failed
fi

# contents
homepage=$4
shift 4
expected=(
    /usr/bin/trennix
    /usr/share/applications/trennix.desktop
    /usr/share/doc/trennix/changelog.gz
    /usr/share/doc/trennix/copyright
    /usr/share/icons/hicolor/16x16/apps/trennix.png
    /usr/share/icons/hicolor/32x32/apps/trennix.png
    /usr/share/icons/hicolor/48x48/apps/trennix.png
    /usr/share/icons/hicolor/scalable/apps/trennix.svg
    /usr/share/man/man1/trennix.1.gz
    /usr/share/metainfo/org.example.trennix.metainfo.xml
)
for binary in "$@"; do
    [ "$(basename "$binary")" = trennix-cli ] &&
        expected+=(/usr/bin/trennix-cli /usr/share/man/man1/trennix-cli.1.gz)
done
if [ -f "$root/packaging/lintian-overrides" ]; then
    expected+=(/usr/share/lintian/overrides/trennix)
fi
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' | sort)
echo "files in $(basename "$deb"):"
echo "$actual"
diff <(printf '%s\n' "${expected[@]}" | sort) <(echo "$actual") ||
    fail "the package's files differ from the expected list (< expected, > in the package)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Version)" = "$version" ] || fail "package version $(field Version), project $version"
[ "$(field Homepage)" = "$homepage" ] || fail "Homepage is '$(field Homepage)', not '$homepage'"
grep -qx 'qt6-wayland' <<<"$(field Recommends | tr -d ' ' | tr ',' '\n')" ||
    fail "qt6-wayland is not recommended"
description=$(field Description)
grep -q 'removes repeated lines' <<<"$description" || fail "no English description"
grep -q '删除文本中的重复行' <<<"$description" || fail "no Chinese description"

changelog=$(dpkg-parsechangelog -l "$root/packaging/changelog" -S Version)
[ "$changelog" = "$version" ] || fail "packaging/changelog is at $changelog, the project at $version"
release=$(grep -m1 -o '<release version="[^"]*"' "$root/resources/trennix.metainfo.xml.in" |
    cut -d'"' -f2)
[ "$release" = "$version" ] || fail "the AppStream file's latest release is $release, not $version"

# Every option a program names in its help is in its manual page, and the other way round.
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }
for binary in "$@"; do
    program=$(basename "$binary")
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$binary" --help) || fail "$program --help failed"
    [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$binary" --version)" = "$program $version" ] ||
        fail "$program --version does not print '$program $version'"
    page=$(sed 's/\\-/-/g' "$root/docs/man/$program.1")
    diff <(options <<<"$help") <(options <<<"$page") ||
        fail "$program: options of --help (<) and of its manual page (>) differ"
done

license=$(sed -n '/^Permission/,$p' "$root/LICENSE")
# The indented lines after the last "License: Expat", with " ." for an empty line.
copyright=$(awk '/^License: Expat$/ {text = ""; next}
    /^ / {sub(/^ /, ""); if ($0 == ".") $0 = ""; text = text $0 "\n"}
    END {printf "%s", text}' "$root/packaging/copyright")
[ "$license" = "$copyright" ] || fail "packaging/copyright does not carry the text of LICENSE"
grep -q "^Copyright (c) .* The Trennix developers$" "$root/LICENSE" || fail "LICENSE's holder"

[ $failed = 0 ] && echo "package contents: as expected"
exit $failed
