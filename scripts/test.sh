#!/usr/bin/env bash
# Builds everything and runs every test and every gate: the format, every preset
# built with warnings as errors, the native suite (release, then with
# AddressSanitizer + UndefinedBehaviorSanitizer, then with ThreadSanitizer), the
# static analysis, the coverage floors, the Debian package with its hardening,
# the fuzzers for 20 s each and the Windows programs under Wine. Each step says
# how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh all
export NORVANE_WERROR=ON
step_start=$SECONDS
step() {
    echo "=== $1 (the step before took $((SECONDS - step_start)) s)"
    step_start=$SECONDS
}
# First of all: would a fresh machine have every program the tests run?
step "dependencies"
bash scripts/check-deps.sh
step "format"
bash scripts/check-format.sh
for preset in native asan tsan; do
    step "$preset"
    cmake --preset "$preset" -DNORVANE_WERROR=ON >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
step "static analysis"
bash scripts/tidy.sh
step "coverage"
bash scripts/coverage.sh
step "the Debian package"
bash scripts/package.sh
step "fuzz (20 s per target)"
bash scripts/fuzz.sh 20
# The Windows program, cross-built, then driven under Wine against the native
# build's simulated PLC.
step "win32 (under Wine)"
cmake --preset win32 -DNORVANE_WERROR=ON >/dev/null
cmake --build --preset win32
bash tests/win32/run_wine_checks.sh
step "done"
