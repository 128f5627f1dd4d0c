#!/usr/bin/env bash
# Builds the coverage preset, runs the whole suite on it (the programs it starts
# count too) and prints line and branch coverage of the product's folders,
# failing when one falls below its floor in tests/coverage-floors.txt.
#
# usage: scripts/coverage.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/coverage
cmake --preset coverage -DNORVANE_WERROR="${NORVANE_WERROR:-OFF}" >/dev/null
cmake --build --preset coverage
find "$build" -name '*.gcda' -delete
ctest --preset coverage -j4 >"$build/ctest.log" 2>&1 || { tail -n 40 "$build/ctest.log"; exit 1; }
grep -E "tests passed" "$build/ctest.log"

floors=tests/coverage-floors.txt
folders=$(awk '!/^#/ && NF == 3 { print $1 }' "$floors")
filter="($(echo $folders | sed 's/ /|/g'))"
# One report per metric, summed by folder: "<folder> <covered> <total>".
by_folder() {
    gcovr --root . --object-directory "$build" --filter "$filter" "$@" \
        --exclude-unreachable-branches --exclude-throw-branches --txt - 2>/dev/null |
        awk -v folders="$folders" '
            BEGIN { n = split(folders, f, " ") }
            NF >= 4 && $2 ~ /^[0-9]+$/ && $3 ~ /^[0-9]+$/ {
                for (i = 1; i <= n; ++i) if (index($1, f[i]) == 1) { total[f[i]] += $2; hit[f[i]] += $3 }
            }
            END { for (i = 1; i <= n; ++i) print f[i], hit[f[i]] + 0, total[f[i]] + 0 }'
}
lines=$(by_folder)
branches=$(by_folder --branches)

failed=0
printf "%-14s %18s %18s\n" folder "lines" "branches"
while read -r folder floor_lines floor_branches; do
    read -r _ lhit ltotal < <(grep "^$folder " <<<"$lines")
    read -r _ bhit btotal < <(grep "^$folder " <<<"$branches")
    lp=$(awk -v h="$lhit" -v t="$ltotal" 'BEGIN { printf "%.1f", t ? 100 * h / t : 0 }')
    bp=$(awk -v h="$bhit" -v t="$btotal" 'BEGIN { printf "%.1f", t ? 100 * h / t : 0 }')
    verdict=ok
    if awk -v p="$lp" -v f="$floor_lines" -v q="$bp" -v g="$floor_branches" 'BEGIN { exit !(p < f || q < g) }'; then
        verdict="BELOW the floor ($floor_lines / $floor_branches)"
        failed=1
    fi
    printf "%-14s %6s %% of %5s %6s %% of %5s  %s\n" "$folder" "$lp" "$ltotal" "$bp" "$btotal" "$verdict"
done < <(awk '!/^#/ && NF == 3' "$floors")
((failed == 0)) && echo "coverage: every folder at or above its floor" || { echo "coverage: FAILED"; exit 1; }
