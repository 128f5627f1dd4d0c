#!/usr/bin/env bash
# Fails when a tracked C or C++ file differs from what clang-format makes of it
# with the repository's .clang-format, naming each place.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if clang-format --dry-run --Werror "${files[@]}"; then
    echo "format: ${#files[@]} files as clang-format $(clang-format --version | grep -o '[0-9][0-9.]*' | head -n 1) writes them"
else
    echo "format: run clang-format -i on the files above"
    exit 1
fi
