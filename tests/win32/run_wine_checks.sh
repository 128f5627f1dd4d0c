#!/usr/bin/env bash
# Proves the Windows program under Wine on a virtual display:
#   1. the Windows unit checks;
#   2. the QB7 program starts idle: title, locked model list, "USB", "Start Burn"
#      and the idle panel, read from the controls and from the screen's pixels;
#   3. Start Burn (click, then Escape) with no PLC attached: "CANNOT open USB Port!!!";
#   4. the Windows links: read time-outs on a silent COM port, waiting input
#      dropped on a port whose PLC answers, a whole transfer over the pipe link;
#   5. a serial-model program burns the simulated PLC on COM1 to success, with
#      a screenshot taken during the transfer, and the PLC's flash equals the image.
#
# usage: tests/win32/run_wine_checks.sh [--update-docs]
#   NORVANE_WIN32_BUILD  the cross build (default build/win32)
#   NORVANE_PLCSIM       the simulated PLC program (default build/native/sim/norvane-plcsim)
# --update-docs copies the idle and mid-burn screenshots to docs/.
# Exits non-zero when any check fails; leaves its prefix and screenshots in
# $NORVANE_WIN32_BUILD/wine-checks.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${NORVANE_WIN32_BUILD:-$root/build/win32}
[[ -d "$build" ]] || { echo "missing: $build (cmake --preset win32 && cmake --build --preset win32)"; exit 1; }
build=$(cd "$build" && pwd)
plcsim=${NORVANE_PLCSIM:-$root/build/native/sim/norvane-plcsim}
update_docs=no
[[ "${1:-}" == "--update-docs" ]] && update_docs=yes

program=$build/ui/win32/norvane-fwupdate.exe
serial_program=$build/tests/win32/norvane-fwupdate-serial-check.exe
serial_image=$build/tests/win32/image/NT4_wine_check_v0.0.1.bin
driver=$build/tests/win32/wine_driver.exe
link_check=$build/tests/win32/wine_link_check.exe
unit_checks=$build/tests/win32/win32_checks.exe
for file in "$program" "$serial_program" "$driver" "$link_check" "$unit_checks" "$plcsim"; do
    [[ -x "$file" ]] || { echo "missing: $file (build it first)"; exit 1; }
done
[[ -f "$serial_image" ]] || { echo "missing: $serial_image (configure the win32 build)"; exit 1; }

work=$build/wine-checks
shots=$work/shots
rm -rf "$shots" "$work/run"
mkdir -p "$shots" "$work/run"
com1=$work/run/com1  # COM1 of the prefix; a link to the simulated PLC's pseudo-terminal

export WINEPREFIX=$work/prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

xvfb_pid=""
sim_pid=""
cleanup() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# wait_until SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds or the time is up.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# wine_done: waits until every Wine process of the prefix has ended; a program
# that will not end is stopped, so one stuck check cannot hang the run.
wine_done() {
    if ! timeout 60 wineserver -w; then
        fail "Wine processes still running after 60 s; stopping them"
        wineserver -k 2>/dev/null || true
        wineserver -w
    fi
}

# start_sim OUT ARGS...: the simulated PLC on a pseudo-terminal, which becomes COM1.
start_sim() {
    local out=$1
    shift
    "$plcsim" "$@" >"$out" 2>&1 &
    sim_pid=$!
    if ! wait_until 10 test -s "$out"; then
        echo "the simulated PLC did not start:"
        cat "$out"
        exit 1
    fi
    ln -sfn "$(head -1 "$out")" "$com1"
}

# sim_verdict OUT: once Wine is done with the line, the simulated PLC is asked
# to end (if it has not ended after its burn already) and says whether its
# flash equals the image; the transfer's line figures are shown.
sim_verdict() {
    wine_done
    kill "$sim_pid" 2>/dev/null || true
    local status=0
    wait "$sim_pid" || status=$?
    sim_pid=""
    grep '^line transfer:' "$1" || true
    if [[ "$status" -eq 0 ]]; then
        pass "simulated PLC: $(grep 'flash equals image' "$1")"
    else
        fail "simulated PLC: $(grep 'flash equals image' "$1" || echo 'no verdict')"
        cat "$1"
    fi
}

# stop_sim: the pseudo-terminal's owner goes only after Wine is done with it.
stop_sim() {
    wine_done
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
}

# A virtual display on a free display number.
Xvfb -displayfd 9 -screen 0 800x600x24 -nolisten tcp 9>"$work/run/display" \
    >"$work/run/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_until 10 test -s "$work/run/display" || { echo "Xvfb did not start"; exit 1; }
DISPLAY=":$(cat "$work/run/display")"
export DISPLAY
echo "display $DISPLAY, prefix $WINEPREFIX"

# The prefix: made once, then kept. Windows draw in a virtual desktop (which
# gives them their title bars without a window manager), the window background
# has the colour Windows gives it, and COM1 is our link.
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "creating the Wine prefix (once)"
    timeout 600 wineboot -i >/dev/null 2>&1 || { echo "wineboot failed"; exit 1; }
fi
cat >"$work/run/settings.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Control Panel\\Colors]
"Scrollbar"="200 200 200"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="640x300"

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$com1"
EOF
timeout 120 wine regedit /S "$work/run/settings.reg" >/dev/null 2>&1
# Wine names its COM ports in the serial-device map when its server starts.
wineserver -k 2>/dev/null || true
wine_done

# The driver's console output ends its lines in CR LF.
drive() { wine "$driver" "$@" | tr -d '\r'; }
shot() { import -window root "$1"; }

# crop IMAGE X Y W H OUT
crop() { convert "$1" -crop "$4x$5+$2+$3" +repage "$6"; }

# differing IMAGE_A IMAGE_B X Y W H: pixels that differ in the region.
differing() {
    crop "$1" "$3" "$4" "$5" "$6" "$work/run/a.png"
    crop "$2" "$3" "$4" "$5" "$6" "$work/run/b.png"
    compare -metric AE "$work/run/a.png" "$work/run/b.png" null: 2>&1 || true
}

# ink_differing IMAGE_A IMAGE_B X Y W H: pixels that differ in whether anything
# is drawn on the background. The date is drawn over itself ten times a second
# without erasing; where the display smooths text edges, the edges darken with
# every tick, so only the pixels it covers can be compared.
ink_differing() {
    local background
    background=$(convert "$2" -format "%[pixel:p{0,0}]" info:)
    for image in a b; do
        local source=$1
        [[ "$image" == b ]] && source=$2
        convert "$source" -crop "$5x$6+$3+$4" +repage -fill white -opaque "$background" \
            -fill black +opaque white "$work/run/ink-$image.png"
    done
    compare -metric AE "$work/run/ink-a.png" "$work/run/ink-b.png" null: 2>&1 || true
}

# colour_count IMAGE X Y W H R,G,B
colour_count() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -format %c histogram:info:- |
        awk -v want="($6)" '{ gsub(/ /, "", $2) } $2 == want { sub(":", "", $1); n += $1 } END { print n + 0 }'
}

# shade_counts IMAGE X Y W H: "dark grey" pixel counts (dark: all channels below
# 64; grey: an even shade between 100 and 200).
shade_counts() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -format %c histogram:info:- | awk '
        { sub(":", "", $1); split(substr($2, 2, length($2) - 2), c, ",")
          if (c[1] < 64 && c[2] < 64 && c[3] < 64) dark += $1
          else if (c[1] == c[2] && c[2] == c[3] && c[1] >= 100 && c[1] <= 200) grey += $1 }
        END { print dark + 0, grey + 0 }'
}

# wait_window: the program's client area, "X Y W H" on the screen, and its outer frame.
wait_window() {
    local out
    out=$(drive find-window 30000) || { echo "$out"; return 1; }
    echo "$out" >&2
    read -ra client < <(echo "$out" | awk '$1 == "client" { print $2, $3, $4, $5 }')
    read -ra outer < <(echo "$out" | awk '$1 == "outer" { print $2, $3, $4, $5 }')
    title=$(echo "$out" | sed -n 's/^title=//p')
}

# The panel's regions in client coordinates: name x y w h.
panel_regions() {
    local counters_width=$((client[2] - 320))
    cat <<EOF
elapsed-time 160 70 175 20
progress-bar 10 105 510 20
progress-text 10 140 120 20
status 160 140 140 20
counters 320 140 $counters_width 20
logo 435 15 87 28
EOF
}

# reference OUT ELAPSED PROGRESS STATUS ERRORS TOTAL: the client area as the
# panel code draws it for those values, with the logo from the program.
reference() {
    local out=$1
    shift
    drive render-panel "$(winepath -w "$program")" "$(winepath -w "$out.bmp")" \
        "${client[2]}" "${client[3]}" "$@" >/dev/null
    convert "$out.bmp" "$out"
}

# ------------------------------------------------------------ the program file
echo "== The program file"
headers=$(x86_64-w64-mingw32-objdump -p "$program")
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" && pass "GUI subsystem" || fail "not a GUI program"
dlls=$(echo "$headers" | awk '/DLL Name:/ { print tolower($3) }' | sort | tr '\n' ' ')
if echo "$dlls" | tr ' ' '\n' | grep -v -x -E 'advapi32.dll|comdlg32.dll|gdi32.dll|kernel32.dll|msvcrt.dll|setupapi.dll|user32.dll|' >/dev/null; then
    fail "needs DLLs beyond the system's: $dlls"
else
    pass "needs only system DLLs: $dlls"
fi
image_file=$(sed -n 's/^NORVANE_IMAGE_FILE:INTERNAL=//p' "$build/CMakeCache.txt")
drive dump-image "$(winepath -w "$program")" "$(winepath -w "$work/run/image.bin")" &&
    cmp -s "$work/run/image.bin" "$image_file" &&
    pass "resource BIN 8 holds $(basename "$image_file")" || fail "resource BIN 8"
version=$(drive version "$(winepath -w "$program")")
echo "$version"
grep -q "^ServedModel=$(basename "$image_file" | cut -d_ -f1)\$" <<<"$version" &&
    grep -q "^FirmwareImage=$(basename "$image_file")\$" <<<"$version" &&
    pass "version record names the served model and image" || fail "version record"

# ---------------------------------------------------------------- unit checks
echo "== Windows unit checks"
if wine "$unit_checks" | tee "$work/run/unit.log" | grep -v '^\[  OK  \]'; then :; fi
grep -q ' 0 failed checks' "$work/run/unit.log" && pass "unit checks" || fail "unit checks"

# ------------------------------------------------------------- the idle window
echo "== QB7 program, idle"
wine "$program" >"$work/run/program.log" 2>&1 &
if wait_window; then
    [[ "$title" == "Norvane PLC Firmware Update Program" ]] && pass "title: $title" ||
        fail "title: $title"
    [[ "${outer[2]}x${outer[3]}" == "544x205" ]] && pass "outer size 544x205" ||
        fail "outer size ${outer[2]}x${outer[3]}"
    drive expect-control 8 ComboBox QB7 0 && pass "model list shows QB7, disabled" ||
        fail "model list"
    drive expect-control 7 ComboBox USB 1 && pass "port list shows USB" || fail "port list"
    drive expect-control 2 Button "Start Burn" 1 && pass "Start Burn button" || fail "button"

    reference "$shots/idle-reference.png" 0 0 0 0 0
    for _ in 1 2 3; do
        shot "$shots/idle-screen.png"
        crop "$shots/idle-screen.png" "${client[@]}" "$shots/idle-client.png"
        bad=""
        while read -r name x y w h; do
            n=$(differing "$shots/idle-client.png" "$shots/idle-reference.png" "$x" "$y" "$w" "$h")
            [[ "$n" == "0" ]] || bad="$bad $name($n)"
        done < <(panel_regions)
        n=$(ink_differing "$shots/idle-client.png" "$shots/idle-reference.png" 300 25 130 18)
        [[ "$n" == "0" ]] || bad="$bad date($n)"
        [[ -z "$bad" ]] && break
        sleep 0.5
    done
    [[ -z "$bad" ]] && pass "idle panel matches the panel drawn for all-zero values" ||
        fail "idle panel differs from the reference in:$bad"
    white=$(colour_count "$shots/idle-client.png" 10 105 510 20 255,255,255)
    red=$(colour_count "$shots/idle-client.png" 10 105 510 20 255,0,0)
    [[ "$white" == "10200" && "$red" == "0" ]] && pass "empty white bar" ||
        fail "bar: $white white, $red red pixels"
    # The reference takes its logo from the program too, so the logo is also
    # checked on its own: the navy of the artwork fills most of its 87 x 28.
    navy=$(colour_count "$shots/idle-client.png" 435 15 87 28 28,58,110)
    [[ "$navy" -gt 1200 ]] && pass "logo drawn at (435, 15): $navy navy pixels" ||
        fail "logo: $navy navy pixels at (435, 15)"
    read -r dark grey < <(shade_counts "$shots/idle-client.png" 13 24 100 16)
    [[ "$dark" == "0" && "$grey" -gt 20 ]] && pass "model list text greyed ($grey grey pixels)" ||
        fail "model list text: $dark dark, $grey grey pixels"
    read -r dark grey < <(shade_counts "$shots/idle-client.png" 163 24 80 16)
    [[ "$dark" -gt 20 ]] && pass "port list text black" || fail "port list text: $dark dark pixels"
    crop "$shots/idle-screen.png" "${outer[@]}" "$shots/idle.png"

    drive key 13  # Enter away from the button: the platform's default command
    drive cancel-box Open 10000 && pass "Enter opens the file dialog" || fail "Enter: no file dialog"
    drive no-box ERROR 500 >/dev/null && drive expect-control 2 Button "Start Burn" 1 >/dev/null &&
        pass "cancelling the file dialog starts nothing" || fail "the file dialog started something"

    echo "== QB7 program, Start Burn without a PLC"
    drive click 2
    drive answer-box ERROR "CANNOT open USB Port!!!" 20000 && pass "click: CANNOT open USB Port!!!" ||
        fail "click: no such message"
    drive wait-enabled 2 1 5000 && pass "button enabled again" || fail "button stays disabled"
    drive key 27  # Escape: the platform's cancel command shares the button's identifier
    drive answer-box ERROR "CANNOT open USB Port!!!" 20000 &&
        pass "Escape starts a burn: CANNOT open USB Port!!!" || fail "Escape: no such message"
    drive wait-enabled 2 1 5000 && pass "button enabled again" || fail "button stays disabled"
    drive expect-control 2 Button "Start Burn" 1 >/dev/null || fail "button after the burns"
    drive close
else
    fail "the QB7 program's window did not appear"
fi
wine_done

# ------------------------------------------------------------------ the links
echo "== Windows links on a silent COM port"
start_sim "$work/run/silent.out" --model NT4 --fault silent --timeout 60
wine "$link_check" silent COM1 | tr -d '\r' && pass "read time-outs honoured" || fail "read time-outs"
stop_sim

echo "== Windows links on a COM port whose PLC answers"
start_sim "$work/run/answering.out" --timeout 60
wine "$link_check" answering COM1 | tr -d '\r' && pass "waiting input dropped" ||
    fail "waiting input"
stop_sim

echo "== A bootloader PLC takes the NT4 image over the pipe link"
start_sim "$work/run/pipe.out" --model NT4 --mode boot --image "$serial_image" --timeout 60 \
    --line-figures
wine "$link_check" transfer COM1 "$(winepath -w "$serial_image")" | tr -d '\r' &&
    pass "pipe link transfer" || fail "pipe link transfer"
sim_verdict "$work/run/pipe.out"

# ---------------------------------------------------------- a serial burn
echo "== Serial program, burn of the simulated PLC on COM1"
start_sim "$work/run/sim.out" --model NT4 --image "$serial_image" --exit-after-burn \
    --timeout 120 --flash-write-ms 6
program=$serial_program
wine "$program" >"$work/run/serial-program.log" 2>&1 &
if wait_window; then
    drive expect-control 8 ComboBox NT4 0 && pass "model list shows NT4, disabled" ||
        fail "model list"
    drive expect-control 7 ComboBox COM1 1 && pass "port list shows COM1" || fail "port list"
    reference "$shots/programming-reference.png" 0 0 2 0 0
    started=$(date +%s%N)
    drive click 2
    # Escape while the burn runs and its button is disabled: a second Start
    # Burn, which must be refused (a second worker could not open COM1 and
    # would say so in an ERROR box).
    drive wait-enabled 2 0 10000 >/dev/null && drive key 27 || fail "the burn did not start"
    caught=no
    for _ in $(seq 200); do
        shot "$shots/burn-screen.png"
        crop "$shots/burn-screen.png" "${client[@]}" "$shots/burn-client.png"
        n=$(differing "$shots/burn-client.png" "$shots/programming-reference.png" 160 140 140 20)
        red=$(colour_count "$shots/burn-client.png" 10 105 510 20 255,0,0)
        # Caught once the bar shows a good part of the transfer.
        if [[ "$n" == "0" && "$red" -ge $((150 * 20)) ]]; then
            caught=yes
            crop "$shots/burn-screen.png" "${outer[@]}" "$shots/programming.png"
            break
        fi
        drive no-box INFORMATION 0 >/dev/null 2>&1 || break
    done
    [[ "$caught" == "yes" ]] && pass "mid-burn screenshot: red bar ($((red / 20)) px) and Programming" ||
        fail "no screenshot showed the red bar and Programming"
    drive answer-box INFORMATION "Firmware update is SUCCESSFUL" 120000 &&
        pass "burn ended: Firmware update is SUCCESSFUL" || fail "burn did not succeed"
    echo "burn took $((($(date +%s%N) - started) / 1000000)) ms from Start Burn to the last message"
    drive no-box ERROR 0 && pass "the second Start Burn was refused" ||
        fail "a second burn was started"
    drive wait-enabled 2 1 5000 && pass "button enabled again" || fail "button stays disabled"
    drive close
else
    fail "the serial program's window did not appear"
fi
# The program goes first; the pseudo-terminal's owner only after Wine is done with it.
sim_verdict "$work/run/sim.out"

if [[ "$update_docs" == "yes" ]]; then
    if [[ "$failures" -eq 0 ]]; then
        cp "$shots/idle.png" "$root/docs/windows-idle.png"
        cp "$shots/programming.png" "$root/docs/windows-programming.png"
        echo "screenshots copied to docs/"
    else
        echo "screenshots NOT copied to docs/: some checks failed"
    fi
fi

echo
if [[ "$failures" -eq 0 ]]; then
    echo "Wine checks: all passed (screenshots in $shots)"
else
    echo "Wine checks: $failures FAILED (screenshots in $shots)"
    exit 1
fi
