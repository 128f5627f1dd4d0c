#!/usr/bin/env bash
# Checks that scripts/install-deps.sh installs every program the build, the
# scripts, the tests and the benchmarks run, so that a fresh machine can run
# them all. A program that is only there because somebody once installed it by
# hand (or because an installed package merely recommends it) passes on that
# machine and fails on the next one; this check fails on both.
#
# The programs are found by reading the shell scripts (every command word),
# the C++ sources that start programs, and the few tools CMake runs itself.
# Each is asked of dpkg: the package that owns it must be in the list, be
# required by a package in the list, or be part of every Debian system.
#
# usage: scripts/check-deps.sh   (after scripts/install-deps.sh all)
set -euo pipefail
cd "$(dirname "$0")/.."

read -ra listed < <(bash scripts/install-deps.sh --list all)

# ------------------------------------------------------- programs that are run
declare -A users  # program -> the files that run it

add() {  # add PROGRAM WHERE
    [[ -n "${users[$1]:-}" && " ${users[$1]} " == *" $2 "* ]] && return
    users[$1]="${users[$1]:-}${users[$1]:+ }$2"
}

# The command words of one script, without its own functions and shell builtins.
script_commands() {
    local body own
    body=$(<"$1")
    eval "__script() {
$body
}" 2>/dev/null || { echo "cannot read $1 as a bash script" >&2; return 1; }
    declare -f __script | tail -n +3 | awk -f scripts/command-words.awk >"$tmp/words"
    own=$(sed -n 's/^function //p' "$tmp/words")
    grep -v '^function ' "$tmp/words" | sort -u | while read -r word; do
        # Programs named by a variable or a path of the project are ours, not a package's.
        [[ "$word" =~ ^[A-Za-z0-9][A-Za-z0-9_.+-]*$ ]] || continue
        grep -qx -- "$word" <<<"$own" && continue
        case $(type -t "$word" 2>/dev/null) in builtin | keyword) continue ;; esac
        echo "$word"
    done
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if git rev-parse --git-dir >/dev/null 2>&1; then
    mapfile -t scripts < <(git ls-files '*.sh' .ci/run)
else
    mapfile -t scripts < <(find . -path ./build -prune -o \( -name '*.sh' -o -path ./.ci/run \) -print)
fi
for script in "${scripts[@]}"; do
    for program in $(script_commands "$script"); do add "$program" "$script"; done
done

# Programs the C++ code starts by name (argv[0] looked up on PATH).
while IFS=: read -r file program; do
    add "$program" "$file"
done < <(grep -rHoE --include='*.cpp' --include='*.h' 'argv = \{"[A-Za-z0-9_.+-]+"' \
             bench tests sim ui | sed -E 's/^([^:]*):argv = \{"([^"]+)"/\1:\2/')

# What CMake runs itself: the generator, the compilers of the presets and of
# the mingw-w64 toolchain file.
add make CMakeLists.txt
add cc CMakeLists.txt
add c++ CMakeLists.txt
for compiler in $(sed -nE 's/.*"CMAKE_(C|CXX)_COMPILER": "([^"]+)".*/\2/p' CMakePresets.json); do
    add "$compiler" CMakePresets.json
done
for tool in gcc-posix g++-posix windres; do
    add "x86_64-w64-mingw32-$tool" cmake/mingw-w64-x86_64.cmake
done

# ------------------------------------------------ what the list brings along
# A package counts as brought along when the list names it or something the
# list names depends on it (Depends and Pre-Depends; never Recommends, which a
# --no-install-recommends install leaves out). Of "a | b" apt takes the first
# that can be had; the first installed one is taken here.
dpkg-query -W -f='${Package}\t${db:Status-Status}\t${Essential} ${Priority}\t${Depends}, ${Pre-Depends}\n' \
    >"$tmp/installed"
brought=$(awk -F'\t' -v listed="${listed[*]}" '
    $2 == "installed" { installed[$1] = 1; depends[$1] = $4; if ($3 ~ /^yes|required$/) base[$1] = 1 }
    END {
        n = split(listed, queue, " ")
        for (head = 1; head <= n; head++) {
            p = queue[head]
            if (p in seen) continue
            seen[p] = 1
            k = split(depends[p], clauses, ",")
            for (c = 1; c <= k; c++) {
                m = split(clauses[c], alternatives, "|")
                for (a = 1; a <= m; a++) {
                    name = alternatives[a]
                    sub(/\(.*\)/, "", name); sub(/:[a-z0-9]+/, "", name); gsub(/[ \t]/, "", name)
                    if (name in installed) { queue[++n] = name; break }
                }
            }
        }
        for (p in seen) print p
        for (p in base) print p
    }' "$tmp/installed" | sort -u)

# ---------------------------------------------------------------- the verdict
# Each program's places on PATH, with the links followed (alternatives,
# versioned names) and the /bin twin of a /usr/bin path, which is what dpkg
# knows of the programs of the merged /usr.
failures=0
: >"$tmp/paths"
for program in "${!users[@]}"; do
    for path in $(type -ap "$program"); do
        real=$(readlink -f "$path")
        for candidate in "$path" "$real" "${path/#\/usr\/bin//bin}" "${real/#\/usr\/bin//bin}"; do
            printf '%s\t%s\n' "$program" "$candidate" >>"$tmp/paths"
        done
    done
done
cut -f2 "$tmp/paths" | sort -u | xargs -r dpkg -S 2>/dev/null |
    sed -nE 's/^([^:,]+)(:[a-z0-9]+)?(, [^:]+)*: (.*)$/\4\t\1/p' >"$tmp/owners" || true

# The first place of each program that a package owns names its package.
awk -F'\t' 'NR == FNR { owner[$1] = $2; next }
             ($1 in owner) == 0 && ($2 in owner) { owner[$1] = owner[$2]; print $1 "\t" owner[$2] }' \
    "$tmp/owners" "$tmp/paths" >"$tmp/program-owners"

for program in $(printf '%s\n' "${!users[@]}" | sort); do
    where=${users[$program]}
    if ! type -P "$program" >/dev/null; then
        echo "MISSING: '$program' (run by $where) is not installed: add the package that provides it to scripts/install-deps.sh"
        failures=$((failures + 1))
        continue
    fi
    package=$(awk -F'\t' -v p="$program" '$1 == p { print $2 }' "$tmp/program-owners")
    if [[ -z "$package" ]]; then
        echo "MISSING: '$program' (run by $where) comes from no Debian package ($(type -P "$program")): add the package that provides it to scripts/install-deps.sh"
        failures=$((failures + 1))
    elif ! grep -qx -- "$package" <<<"$brought"; then
        echo "MISSING: '$program' (run by $where) comes from package '$package': add '$package' to scripts/install-deps.sh"
        failures=$((failures + 1))
    fi
done

if ((failures)); then
    echo "check-deps: $failures program(s) would be missing on a fresh machine"
    exit 1
fi
echo "check-deps: all ${#users[@]} programs come from the installed list or the base system"
