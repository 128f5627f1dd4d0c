#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (skips what is there).
# Usage: install-deps.sh [native|all]          (all adds the Windows cross build and Wine)
#        install-deps.sh --list [native|all]   prints the packages instead
# This is the one list: .ci/run and scripts/test.sh install from it, and
# scripts/check-deps.sh checks that it holds every program the tests run.
set -euo pipefail
list_only=no
[ "${1:-}" = --list ] && { list_only=yes; shift; }
what=${1:-native}
packages=(cmake g++ make git libgtest-dev libbenchmark-dev dpkg-dev lintian mandoc clang-format
          clang-tidy gcovr devscripts systemd pkg-config libsystemd-dev libudev-dev
          nlohmann-json3-dev python3-jsonschema libcpp-httplib-dev chromium prometheus
          libsqlite3-dev libpq-dev postgresql)
if [ "$what" = all ]; then
    # wine64 only recommends wine, which brings the wine, wineboot and
    # wineserver commands; a --no-install-recommends install needs both named.
    packages+=(g++-mingw-w64-x86-64 wine wine64 fonts-wine xvfb imagemagick lrzsz clang
               libclang-rt-14-dev)
fi
if [ "$list_only" = yes ]; then
    echo "${packages[@]}"
    exit 0
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
