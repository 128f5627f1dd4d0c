#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (skips what is there).
# Usage: install-deps.sh [native|all]   (all adds the Windows cross build and Wine)
set -euo pipefail
what=${1:-native}
packages=(cmake g++ make libgtest-dev libbenchmark-dev)
if [ "$what" = all ]; then
    packages+=(g++-mingw-w64-x86-64 wine64 fonts-wine xvfb xdotool imagemagick socat lrzsz clang libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
