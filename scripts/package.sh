#!/usr/bin/env bash
# Builds the Debian package from the native build and checks it as a user meets
# it: its contents and control fields, lintian, the manual pages, and the
# installed programs (a real dpkg -i when run as root, a scratch root otherwise)
# burning the installed simulated PLC.
#
# usage: scripts/package.sh   (after cmake --build --preset native)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/native
failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$build/packages"
(cd "$build" && cpack >/dev/null)
deb=$(ls "$build"/packages/*.deb)
echo "== $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

version=$("$build/ui/cli/norvane-fwupdate" --version | sed -n '1s/^norvane-fwupdate //p')
[[ "$(dpkg-deb --field "$deb" Version)" == "$version" ]] &&
    pass "package version $version is the program's" || fail "package version differs from $version"
[[ "$(dpkg-deb --field "$deb" Architecture)" == "$(dpkg --print-architecture)" ]] &&
    pass "architecture $(dpkg --print-architecture)" || fail "architecture"
dpkg-deb --field "$deb" Depends | grep -q 'libc6' && pass "dependencies computed from the binaries" ||
    fail "no dependencies computed"

if lintian --fail-on error "$deb"; then pass "lintian: no error"; else fail "lintian reports errors"; fi

# The manual pages, as installed. (Below warnings, mandoc only notes that the pages
# name each other without a whatis database to find them in.)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
mkdir -p "$scratch/man/man1"
for page in "$scratch"/root/usr/share/man/man1/*.1.gz; do
    gzip -dc "$page" >"$scratch/man/man1/$(basename "$page" .gz)"
done
lint=$(mandoc -T lint -W warning "$scratch"/man/man1/*.1 2>&1 || true)
[[ -z "$lint" ]] && pass "mandoc -T lint -W warning: nothing to report" ||
    { fail "mandoc -T lint:"; echo "$lint"; }

# The installed programs: the package itself when we may install it, else its files.
if [[ "$(id -u)" -eq 0 ]]; then
    dpkg -i "$deb" >/dev/null
    bin=/usr/bin
    installed=yes
    pass "dpkg -i installed it"
else
    bin=$scratch/root/usr/bin
    installed=no
fi
"$bin/norvane-fwupdate" --version | head -n 3
[[ -f "$scratch/root/usr/lib/udev/rules.d/99-norvane-plc.rules" ]] && pass "udev rule in lib/udev/rules.d" ||
    fail "no udev rule"
image=$(head -n 1 "$build/firmware-image.txt")
model=$("$bin/norvane-fwupdate" --version | sed -n 's/^model: //p')
"$bin/norvane-plcsim" --model "$model" --image "$image" --exit-after-burn --timeout 60 \
    >"$scratch/sim.out" 2>&1 &
sim=$!
for _ in $(seq 100); do [[ -s "$scratch/sim.out" ]] && break; sleep 0.1; done
pty=$(head -n 1 "$scratch/sim.out")
if "$bin/norvane-fwupdate" --port "$pty" --yes --placeholder </dev/null >"$scratch/tool.out" 2>&1 &&
    wait "$sim" && grep -qx 'flash equals image: yes' "$scratch/sim.out"; then
    pass "the installed norvane-fwupdate burnt the installed norvane-plcsim: $(tail -n 1 "$scratch/tool.out")"
else
    fail "burn with the installed programs"
    cat "$scratch/tool.out" "$scratch/sim.out"
fi
if [[ "$installed" == yes ]]; then
    dpkg -r norvane-fwupdate >/dev/null && pass "dpkg -r removed it" || fail "dpkg -r"
fi

if ((failures)); then
    echo "package checks: $failures FAILED"
    exit 1
fi
echo "package checks: all passed"
