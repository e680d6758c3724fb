#!/usr/bin/env bash
# Builds the Debian package from a configured and built folder and checks it: lintian finds no error,
# every file is in the package with the right permissions, the desktop entry, the metainfo, the DAT
# file type and the manual pages pass their own tools, and the bash completion offers the commands
# kelvot-cli lists. Needs no display; works as root.
#
#   scripts/check-package.sh [BUILD]      BUILD: the build folder (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
id=io.github.kelvot.Kelvot

fail() { echo "check-package: $*" >&2; exit 1; }

rm -f "$build"/kelvot_*.deb
log=$(cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build" 2>&1) || { echo "$log" >&2; fail "cpack failed"; }
debs=("$build"/kelvot_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single kelvot_*.deb in $build"
deb=${debs[0]}
echo "package: $deb"

lintian --fail-on error "$deb" 2> >(grep -v 'running with root privileges' >&2) || fail "lintian reports errors"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
share=$root/usr/share
expected=(
  usr/bin/kelvot usr/bin/kelvot-cli
  usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml usr/share/mime/packages/kelvot.xml
  usr/share/icons/hicolor/scalable/apps/$id.svg
  usr/share/man/man1/kelvot.1.gz usr/share/man/man1/kelvot-cli.1.gz
  usr/share/bash-completion/completions/kelvot-cli
  usr/share/doc/kelvot/copyright usr/share/doc/kelvot/changelog.Debian.gz
)
for size in 16 22 24 32 48 64 128 256; do
    png=usr/share/icons/hicolor/${size}x$size/apps/$id.png
    expected+=("$png")
    file "$root/$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a $size x $size PNG"
done
for f in "${expected[@]}"; do
    [ -f "$root/$f" ] || fail "$f is missing from the package"
done
odd=$(find "$root/usr" \( -type d -o -path "$root/usr/bin/*" \) ! -perm 0755 -o -type f ! -path "$root/usr/bin/*" ! -perm 0644)
[ -z "$odd" ] || fail "permissions other than 0755 (folders, programs) and 0644 (files): $odd"

desktop-file-validate "$share/applications/$id.desktop"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" >/dev/null ||
    { appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml"; fail "the metainfo does not validate"; }
XDG_DATA_DIRS=$share update-mime-database "$share/mime"
grep -qx 'application/x-kelvot-dat:\*\.dat' "$share/mime/globs" || fail "*.dat is not application/x-kelvot-dat"

for page in kelvot kelvot-cli; do
    warnings=$(zcat "$share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
done

# The completion, sourced in a plain bash, offers exactly the commands the packaged kelvot-cli lists.
commands=$(packaging/cli-commands.sh "$root/usr/bin/kelvot-cli" | sort | tr '\n' ' ')
offered=$(bash -c 'source "$1"; COMP_WORDS=(kelvot-cli ""); COMP_CWORD=1; _kelvot_cli
                   printf "%s\n" "${COMPREPLY[@]}" | grep -v "^-" | sort | tr "\n" " "' _ \
              "$share/bash-completion/completions/kelvot-cli")
[ -n "$commands" ] && [ "$offered" = "$commands" ] || fail "the completion offers '$offered', kelvot-cli has '$commands'"
echo "package checked: $(basename "$deb")"
