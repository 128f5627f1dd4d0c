#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer),
# replays every input that once crashed one of them, then fuzzes each for a while.
#
# usage: scripts/fuzz.sh [seconds-per-target]   (default 30)
# A crash leaves its input in build/fuzz/crashes/; copy it to
# tests/fuzz/regressions/<target>/ once the fault is fixed, so it is replayed on every run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
targets=(app_replies boot_replies port_names cli_options json_lines)

cmake --preset fuzz -DNORVANE_WERROR="${NORVANE_WERROR:-OFF}" >/dev/null 2>&1 ||
    cmake --preset fuzz -DNORVANE_WERROR="${NORVANE_WERROR:-OFF}"
cmake --build --preset fuzz
bin=build/fuzz/tests/fuzz
mkdir -p build/fuzz/crashes

for target in "${targets[@]}"; do
    fuzzer=$bin/${target}_fuzz
    regressions=tests/fuzz/regressions/$target
    if compgen -G "$regressions/*" >/dev/null; then
        echo "--- $target: replaying $(ls "$regressions" | wc -l) regression inputs"
        "$fuzzer" "$regressions"/* 2>&1 | tail -n 1
    fi
    # The corpus grows across local runs; the committed seeds start it off.
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    seeds=()
    [[ -d tests/fuzz/corpus/$target ]] && seeds=("tests/fuzz/corpus/$target")
    echo "--- $target: fuzzing for $seconds s"
    if ! "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="build/fuzz/crashes/$target-" "$corpus" "${seeds[@]}" \
            >"build/fuzz/$target.log" 2>&1; then
        tail -n 40 "build/fuzz/$target.log"
        echo "FAIL: $target found a crash; its input is in build/fuzz/crashes/"
        exit 1
    fi
    grep -E "DONE|stat::number_of_executed_units" "build/fuzz/$target.log" || true
done
echo "fuzzing: no crash in ${#targets[@]} targets"
