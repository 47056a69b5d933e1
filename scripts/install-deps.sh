#!/usr/bin/env bash
# Installs every package needed to build, test and benchmark Tolvane on Debian 12.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libgif-dev libdeflate-dev libisal-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-dejavu-core
  liblcms2-dev
  libtiff-dev libtiff-tools
  libcairo2-dev libuemf-dev
  # the installation's generated files and its checks; cpack -G DEB
  librsvg2-bin help2man desktop-file-utils appstream dpkg-dev file
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
