#!/usr/bin/env bash
# Static analysis (.clang-tidy) over every product source the native build
# compiles: burn/, link/, port/posix/, ui/ (the terminal program, the panel) and
# sim/. The Windows-only sources (port/win32/, ui/win32/, ui/cli/platform_win32.cpp,
# ui/cli/windows_command_line.cpp) are seen by no pass: clang-tidy would need
# the mingw-w64 headers parsed as clang parses them, which it does not do here.
#
# usage: scripts/tidy.sh   (after cmake --preset native)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/native
[[ -f $build/compile_commands.json ]] || { echo "missing $build/compile_commands.json"; exit 1; }
mapfile -t files < <(git ls-files 'burn/*.cpp' 'link/*.cpp' 'port/test_settings_*.cpp' 'port/posix/*.cpp' 'line/*.cpp' 'ui/cli/*.cpp' 'ui/web/*.cpp' \
    'ui/panel/*.cpp' 'sim/*.cpp' | grep -v -e platform_win32 -e station_page_win32 -e machine_win32 -e windows_command_line)
# The generated embedded-image sources come first in a build: make sure they are there.
cmake --build --preset native --target norvane-fwupdate norvane-plcsim >/dev/null
log=$build/tidy.log
if printf '%s\n' "${files[@]}" | xargs -P 2 -n 4 clang-tidy -p "$build" --quiet --extra-arg=-Wno-unknown-warning-option >"$log" 2>&1; then
    echo "clang-tidy: ${#files[@]} files, no finding"
else
    grep -E "warning:|error:" "$log" | sort -u | head -n 60
    echo "clang-tidy: findings above (all of them in $log)"
    exit 1
fi
