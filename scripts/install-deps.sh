#!/usr/bin/env bash
# Installs the Debian 12 packages Kelvot builds and tests with; does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libfreeimage-dev libimagequant-dev libcli11-dev nlohmann-json3-dev
  googletest libgtest-dev libbenchmark-dev
  libfuse3-dev fuse3
  clang libclang-rt-14-dev
  imagemagick
  help2man librsvg2-bin desktop-file-utils appstream lintian dpkg-dev man-db groff-base file shared-mime-info
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
