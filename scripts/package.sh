#!/usr/bin/env bash
# Builds the Debian package as Debian builds its own (the distribution's build
# flags with every hardening feature) and checks it as a user meets it: its
# contents and control fields, lintian, the hardening of every program in it,
# the manual pages, and the installed programs (a real dpkg -i when run as
# root, a scratch root otherwise) burning the installed simulated PLC.
#
# usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/package
failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Fortified sources, the stack protector, full RELRO, immediate binding and
# position-independent executables, as dpkg-buildflags gives them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=None -DNORVANE_BUILD_TESTS=OFF \
    -DNORVANE_WERROR="${NORVANE_WERROR:-OFF}" \
    -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$build" -j 2 --target norvane-fwupdate norvane-plcsim norvane_documents
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

# Every program in the package, hardened as dpkg-buildflags hardens: position
# independent, stack protected, fortified, read-only relocations, immediate
# binding. (hardening-check also reports what this Debian's build flags do not
# give, control-flow integrity and stack-clash protection: shown, not judged.)
# A program that calls no function the fortified sources protect is named as
# such, not failed.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
for program in "$scratch"/root/usr/bin/*; do
    name=$(basename "$program")
    report=$(hardening-check "$program" || true)
    echo "$report"
    missing=""
    for feature in "Position Independent Executable" "Stack protected" "Fortify Source functions" \
        "Read-only relocations" "Immediate binding"; do
        line=$(grep -F " $feature:" <<<"$report" || echo " $feature: not reported")
        if [[ "$line" == *": yes"* ]]; then
            continue
        elif [[ "$feature" == Fortify* && "$line" == *"only unprotected functions found"* ]]; then
            echo "  ($name calls no function that has a fortified form)"
        else
            missing+="${line# }; "
        fi
    done
    [[ -z "$missing" ]] && pass "$name hardened: PIE, stack protector, fortified sources, full RELRO, immediate binding" ||
        fail "$name is not hardened: $missing"
done

# The manual pages, as installed. (Below warnings, mandoc only notes that the pages
# name each other without a whatis database to find them in.)
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

# The station's unit: systemd's own verdict on it, without a word of complaint.
unit=$scratch/root/usr/lib/systemd/system/norvane-fwupdate-station@.service
if [[ -f "$unit" ]]; then
    mkdir -p "$scratch/units"
    cp "$unit" "$scratch/units/norvane-fwupdate-station@check.service"
    verdict=$(systemd-analyze verify --man=no "$scratch/units/norvane-fwupdate-station@check.service" 2>&1 || echo "(exit status $?)")
    [[ -z "$verdict" ]] && pass "systemd-analyze verify: nothing to say of the station's unit" ||
        { fail "systemd-analyze verify:"; echo "$verdict"; }
else
    fail "no station unit in /usr/lib/systemd/system"
fi

# How much of the system the station's unit leaves it: systemd's own score of its
# exposure (0 safe to 10 exposed), which a station that others log in beside must
# keep low.
if [[ -f "$unit" ]]; then
    exposure=$(systemd-analyze security --offline=yes "$scratch/units/norvane-fwupdate-station@check.service" 2>&1 |
        sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    if [[ -n "$exposure" ]] && awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }'; then
        pass "systemd-analyze security: the station's unit rates $exposure (at most 2.0)"
    else
        fail "systemd-analyze security: the station's unit rates ${exposure:-nothing} (more than 2.0)"
        systemd-analyze security --offline=yes "$scratch/units/norvane-fwupdate-station@check.service" | grep '✗' || true
    fi
fi
tmpfiles=$scratch/root/usr/lib/tmpfiles.d/norvane-fwupdate.conf
grep -qE '^d /run/lock/norvane-fwupdate 2775 root dialout' "$tmpfiles" 2>/dev/null &&
    pass "tmpfiles.d: the lock folder, root's and the dialout group's" || fail "no tmpfiles.d entry for the lock folder"

# The tests' settings do nothing in the installed program: a fake device tree with
# a PLC in it, given as the tests give it, is not seen.
fake=$scratch/fake-sysfs
mkdir -p "$fake/devices/usb1/1-2" "$fake/class/tty" "$fake/dev"
printf '6c2e\n' >"$fake/devices/usb1/1-2/idVendor"
printf '0001\n' >"$fake/devices/usb1/1-2/idProduct"
mkdir -p "$fake/devices/usb1/1-2/1-2:1.0/tty/ttyACM7"
ln -s ../.. "$fake/devices/usb1/1-2/1-2:1.0/tty/ttyACM7/device"
ln -s ../../devices/usb1/1-2/1-2:1.0/tty/ttyACM7 "$fake/class/tty/ttyACM7"
listed=$(NORVANE_FWUPDATE_SYSFS=$fake NORVANE_FWUPDATE_DEV=$fake/dev "$bin/norvane-fwupdate" --list --json)
if [[ "$listed" != *'"kind": "plc-usb"'* ]] &&
    ! grep -qaE 'NORVANE_FWUPDATE_(SYSFS|DEV|LOCK_DIR|SILENCE_LIMIT|PLC_INTERFACES)' "$bin/norvane-fwupdate"; then
    pass "the installed program honours no test setting (a fake device tree is not seen)"
else
    fail "the installed program honours the tests' settings: $listed"
fi

# The unit's command, as systemd starts it: its settings file, an unprivileged
# user in the dialout group; stopped as systemd stops it (the station alone gets
# SIGTERM), with an exit status the unit counts as success.
if [[ -f "$unit" ]]; then
    chmod 0755 "$scratch" && mkdir -p "$scratch/station" && chmod 0777 "$scratch/station"
    echo "NORVANE_STATION_OPTIONS=--placeholder --json --port usb-path:9-9 --record $scratch/station/burns.jsonl --record-db sqlite:$scratch/station/burns.db" \
        >"$scratch/station/check.conf"
    command=$(sed -n 's/^ExecStart=//p' "$unit")
    options=$(sed -n 's/^NORVANE_STATION_OPTIONS=//p' "$scratch/station/check.conf")
    # shellcheck disable=SC2086 # the options split into words as systemd splits them
    setpriv --reuid nobody --regid nogroup --groups "$(getent group dialout | cut -d: -f3)" \
        ${command//\$NORVANE_STATION_OPTIONS/$options} >"$scratch/station/out" 2>&1 &
    station=$!
    for _ in $(seq 100); do grep -q '"state": "watching"' "$scratch/station/out" && break; sleep 0.1; done
    kill -TERM "$station" 2>/dev/null || true
    status=0
    wait "$station" || status=$?
    success=$(sed -n 's/^SuccessExitStatus=//p' "$unit")
    if grep -q '"state": "stopped"' "$scratch/station/out" && [[ " 0 $success " == *" $status "* ]]; then
        pass "the unit's command ran as nobody and stopped on SIGTERM with status $status"
    else
        fail "the unit's command: status $status"
        cat "$scratch/station/out"
    fi
fi

# The bash completion, where bash-completion looks: the options, and the ports.
completion=$scratch/root/usr/share/bash-completion/completions/norvane-fwupdate
if [[ -f "$completion" ]] && bash -c ". '$completion'; COMP_WORDS=(norvane-fwupdate --ima); COMP_CWORD=1;
        _norvane_fwupdate; [[ \" \${COMPREPLY[*]} \" == *' --image '* ]]"; then
    pass "bash completion of the options"
else
    fail "no bash completion of the options"
fi

if [[ "$installed" == yes ]]; then
    dpkg -r norvane-fwupdate >/dev/null && pass "dpkg -r removed it" || fail "dpkg -r"
fi

if ((failures)); then
    echo "package checks: $failures FAILED"
    exit 1
fi
echo "package checks: all passed"
