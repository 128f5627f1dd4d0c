#!/usr/bin/env bash
# Proves the Windows program under Wine on a virtual display:
#   1. the program file and the Windows unit checks;
#   2. the QB7 program starts idle: its window, class and controls (class,
#      identifier, text, place, size, style, Tab order) and the idle panel's
#      pixels, each against the value the window is made with, written in
#      wine_driver.cpp; Enter opens the file dialog;
#   3. Start Burn (click, then Escape) with no PLC attached: "CANNOT open USB Port!!!";
#   4. the Windows links: read time-outs on a silent COM port, waiting input
#      dropped on a port whose PLC answers, a whole transfer over the pipe link;
#   5. a serial-model program burns the simulated PLC on COM1 to success; the
#      PLC holds one acknowledgement so that the panel stands at a known
#      progress for its screenshot; the PLC's flash equals the image.
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

# crop IMAGE X Y W H OUT
crop() { convert "$1" -crop "$4x$5+$2+$3" +repage "$6"; }

# report TEXT: the driver's PASS and FAIL lines, each failure counted.
report() {
    echo "$1"
    local n
    n=$(grep -c '^FAIL' <<<"$1" || true)
    failures=$((failures + n))
}

# wait_window: the program's client area, "X Y W H" on the screen, and its outer frame.
wait_window() {
    local out
    out=$(drive find-window 30000) || { echo "$out"; return 1; }
    read -ra client < <(echo "$out" | awk '$1 == "client" { print $2, $3, $4, $5 }')
    read -ra outer < <(echo "$out" | awk '$1 == "outer" { print $2, $3, $4, $5 }')
}

# panel_shot NAME: the display as $shots/NAME-screen.png and as the PPM the
# driver reads ($run_w\NAME.ppm).
panel_shot() {
    import -window root "$shots/$1-screen.png"
    convert "$shots/$1-screen.png" -depth 8 "ppm:$work/run/$1.ppm"
}

# expect_panel NAME ELAPSED_LOW ELAPSED_HIGH PROGRESS PHASE ERRORS TOTAL: the
# driver's pixel checks of screenshot NAME for a panel holding those values.
expect_panel() {
    local name=$1
    shift
    drive expect-panel "$run_w\\$name.ppm" "$program_w" "$@"
}

# bar_pixels NAME X: the colours of screenshot NAME at client x X-1 and X on a
# row of the bar, as "R G B R G B".
bar_pixels() {
    convert "$shots/$1-screen.png" -crop "2x1+$((client[0] + $2 - 1))+$((client[1] + 110))" \
        +repage -depth 8 rgb:- | od -An -tu1 | xargs
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
image_file=$(head -n 1 "$build/firmware-image.txt")
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
run_w=$(winepath -w "$work/run")
echo "== QB7 program, idle"
wine "$program" >"$work/run/program.log" 2>&1 &
if wait_window; then
    program_w=$(winepath -w "$program")
    report "$(drive expect-window QB7 USB)"
    # Idle: 0 seconds, an empty white bar at 0 %, "Idle", 0/0. The first
    # shot may come before the repaint timer's first tick has drawn the logo.
    for _ in 1 2 3; do
        panel_shot idle
        out=$(expect_panel idle 0 0 0 Idle 0 0) && break
        sleep 0.5
    done
    report "$out"
    report "$(drive expect-lists "$run_w\\idle.ppm")"
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
# NT4 sends 128-byte blocks: the 131072-byte image is M = 1024 blocks, and the
# progress after block k is k * 100 / (M + 1). The PLC holds its acknowledgement
# of block 513 for 2.5 s (below the tool's 3 s read time-out), so the panel
# stands at 512 * 100 / 1025 = 49 % meanwhile, the bar's edge at
# x 10 + 49 * 510 / 100 = 259: red from 10 to 258, white from 259.
hold_block=513
held_progress=$(((hold_block - 1) * 100 / (1024 + 1)))
held_edge=$((10 + held_progress * 510 / 100))
start_sim "$work/run/sim.out" --model NT4 --image "$serial_image" --exit-after-burn \
    --timeout 120 --hold-block "$hold_block" --hold-ms 2500 --line-figures
program=$serial_program
wine "$program" >"$work/run/serial-program.log" 2>&1 &
if wait_window; then
    program_w=$(winepath -w "$program")
    report "$(drive expect-window NT4 COM1)"
    started=$(date +%s%N)
    drive click 2
    # Escape while the burn runs and its button is disabled: a second Start
    # Burn, which must be refused (a second worker could not open COM1 and
    # would say so in an ERROR box).
    drive wait-enabled 2 0 10000 >/dev/null && drive key 27 || fail "the burn did not start"
    # Screenshots until one shows the bar's edge where the hold keeps it; its
    # elapsed seconds are those since Start Burn, give or take the timer's
    # start and a tick in flight. A shot taken while a tick is half drawn is
    # taken again, at most twice.
    out=""
    tries=0
    deadline=$((SECONDS + 60))
    while ((tries < 3 && SECONDS < deadline)); do
        panel_shot burn
        [[ "$(bar_pixels burn 520)" == "255 0 0 200 200 200" ]] && break  # the bar is full
        # Filled left of the edge, white from it on; whether the fill is the
        # right red is the driver's to say.
        pixels=$(bar_pixels burn "$held_edge")
        [[ "${pixels#* * * }" == "255 255 255" && "$pixels" != "255 255 255 "* &&
            "$pixels" != "200 200 200 "* ]] || continue
        tries=$((tries + 1))
        seconds=$((($(date +%s%N) - started) / 1000000000))
        out=$(expect_panel burn "$((seconds > 2 ? seconds - 2 : 0))" "$((seconds + 1))" \
            "$held_progress" Programming 0 0) && break
    done
    if [[ -n "$out" ]]; then
        report "$out"
        crop "$shots/burn-screen.png" "${outer[@]}" "$shots/programming.png"
    else
        fail "no screenshot showed the bar standing at $held_progress %"
    fi
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
