#!/usr/bin/env bash
# Builds everything and runs every test: the native suite (release, then with
# AddressSanitizer + UndefinedBehaviorSanitizer, then with ThreadSanitizer) and
# the fuzzers for 30 s each and the Windows program under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh all
# First of all: would a fresh machine have every program the tests run?
bash scripts/check-deps.sh
for preset in native asan tsan; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
echo "=== the Debian package"
bash scripts/package.sh
echo "=== fuzz (30 s per target)"
bash scripts/fuzz.sh 30
# The Windows program, cross-built, then driven under Wine against the native
# build's simulated PLC.
echo "=== win32 (under Wine)"
cmake --preset win32 >/dev/null
cmake --build --preset win32
bash tests/win32/run_wine_checks.sh
