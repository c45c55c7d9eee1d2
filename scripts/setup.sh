#!/bin/bash
# Installs what a fresh Debian 12 machine lacks to build, test and run the Zent loader.
# Runs apt-get only when a package is missing; needs root (or sudo) for that.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config ccache
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libfltk1.3-dev fluid
  srecord ncompress
  xvfb xdotool x11-utils imagemagick openbox
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y "${missing[@]}"
