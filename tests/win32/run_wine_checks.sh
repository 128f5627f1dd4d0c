#!/usr/bin/env bash
# Proves the Windows program under Wine on a virtual display:
#   1. the program file and the Windows unit checks;
#   2. the QB7 program starts idle: its window, class and controls (class,
#      identifier, text, place, size, style, Tab order) and the idle panel's
#      pixels, each against the value the window is made with, written in
#      wine_driver.cpp; Enter opens the file dialog;
#   3. Start Burn (click, then Escape) with no PLC attached: "CANNOT open USB Port!!!";
#   4. the Windows links: read time-outs on a silent COM port, its own settings
#      given back once let go, waiting input dropped on a port whose PLC
#      answers, a whole transfer over the pipe link;
#   5. a serial-model program burns the simulated PLC on COM1 to success; the
#      PLC holds one acknowledgement so that the panel stands at a known
#      progress for its screenshot; the PLC's flash equals the image;
#   6. the console program (norvane-fwupdate-cli.exe, and one for the serial
#      model): its file and ports; a live status line on a console; the serial
#      model burnt on COM1; the QB7 burnt through the PLC's pipe link on COM1's
#      device path (the simulated PLC takes the line's close and reopen for the
#      replug); a silent PLC; JSON lines; several PLCs at once with a record;
#      Ctrl-C ending one burn and several; a burn whose output is closed early,
#      while a second program is refused its PLC; --port mistakes; the
#      Ctrl-Break handler; --identify and --check of a PLC that then has seen
#      no erase; an NT4 file burnt with --image, on one PLC and on two at once.
#      Every burn of a built-in image passes --placeholder, as test builds carry one.
#
# usage: tests/win32/run_wine_checks.sh [--update-docs]
#   NORVANE_WIN32_BUILD  the cross build (default build/win32)
#   NORVANE_PLCSIM       the simulated PLC program (default build/native/sim/norvane-plcsim)
# --update-docs copies the idle and mid-burn screenshots to docs/.
# Exits non-zero when any check fails; leaves its prefix and screenshots in
# $NORVANE_WIN32_BUILD/wine-checks.
set -Eeuo pipefail
# A command that ends the checks says so, and where: without it a run cut short
# by one failing command would end without a word of why.
trap 'echo "STOPPED: line $LINENO: $BASH_COMMAND (exit status $?)"
      [[ -f "${wine_log:-}" ]] && tail -n 5 "$wine_log" || true' ERR

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
cli=$build/ui/cli/norvane-fwupdate-cli.exe
testable_cli=$build/tests/win32/norvane-fwupdate-cli-testable.exe
serial_cli=$build/tests/win32/norvane-fwupdate-cli-serial-check.exe
console_check=$build/tests/win32/wine_console_check.exe
for file in "$program" "$serial_program" "$driver" "$link_check" "$unit_checks" "$plcsim" \
    "$cli" "$serial_cli" "$console_check"; do
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
declare -A served=()  # the simulated PLCs of the console program's burns, by COM port
cleanup() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null || true
    for pid in "${served[@]}"; do kill "$pid" 2>/dev/null || true; done
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
# that will not end is stopped, so one stuck check cannot hang the run. Then
# the server for the next programs is started with its output in a file of its
# own: Wine's server lists every object it holds when a pseudo-terminal it has
# open is hung up (a simulated PLC that ends after its burn), and it would
# otherwise write that into this script's output through whichever program
# happened to start it. It ends once its last program has; every wine_done is
# followed by a Wine program.
wine_done() {
    if ! timeout 60 wineserver -w; then
        fail "Wine processes still running after 60 s; stopping them"
        wineserver -k 2>/dev/null || true
        wineserver -w
    fi
    wineserver -p0 2>>"$work/run/wineserver.log"
}

# serve COM OUT ARGS...: a simulated PLC on a pseudo-terminal behind COM (com1
# to com4), for the console program's burns.
serve() {
    local com=$1 out=$2
    shift 2
    "$plcsim" "$@" >"$out" 2>&1 &
    served[$com]=$!
    if ! wait_until 10 test -s "$out"; then
        echo "the simulated PLC did not start:"
        cat "$out"
        exit 1
    fi
    ln -sfn "$(head -1 "$out")" "$work/run/$com"
}

# start_sim OUT ARGS...: the simulated PLC on a pseudo-terminal, which becomes COM1.
start_sim() {
    serve com1 "$@"
    sim_pid=${served[com1]}
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
    unset "served[com1]"
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
    unset "served[com1]"
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
"COM2"="$work/run/com2"
"COM3"="$work/run/com3"
"COM4"="$work/run/com4"
EOF
timeout 120 wine regedit /S "$work/run/settings.reg" >/dev/null 2>&1
# Wine names its COM ports in the serial-device map when its server starts.
wineserver -k 2>/dev/null || true
wine_done

# A Wine program started while no server runs starts one, which writes its list
# of objects to the program's standard error when a pseudo-terminal it holds
# hangs up: the programs whose output this script reads send theirs to the log
# of the server, so that such lists never fill this script's output.
wine_log=$work/run/wineserver.log
winepath() { command winepath "$@" 2>>"$wine_log"; }
# The driver's console output ends its lines in CR LF.
drive() { wine "$driver" "$@" 2>>"$wine_log" | tr -d '\r'; }

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
    # What the driver said goes with a failure: a box, the button, or the
    # driver itself not starting are three different faults.
    if out=$(drive no-box ERROR 500) && out+=$(drive expect-control 2 Button "Start Burn" 1); then
        pass "cancelling the file dialog starts nothing"
    else
        fail "the file dialog started something: ${out:-the driver said nothing}"
        tail -n 5 "$wine_log"
    fi

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
wine "$link_check" letgo COM1 | tr -d '\r' && pass "a COM port let go has its own settings back" ||
    fail "a COM port let go"
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

# ------------------------------------------------------ the console program
echo "== Console program: the file and the ports"
headers=$(x86_64-w64-mingw32-objdump -p "$cli")
grep -q 'Subsystem.*(Windows CUI)' <<<"$headers" && pass "console subsystem" ||
    fail "norvane-fwupdate-cli.exe is not a console program"
dlls=$(echo "$headers" | awk '/DLL Name:/ { print tolower($3) }' | sort | tr '\n' ' ')
if echo "$dlls" | tr ' ' '\n' | grep -v -x -E 'advapi32.dll|kernel32.dll|msvcrt.dll|setupapi.dll|user32.dll|' >/dev/null; then
    fail "the console program needs DLLs beyond the system's: $dlls"
else
    pass "the console program needs only system DLLs: $dlls"
fi
drive dump-image "$(winepath -w "$cli")" "$(winepath -w "$work/run/cli-image.bin")" &&
    cmp -s "$work/run/cli-image.bin" "$image_file" &&
    pass "its resource BIN 8 holds $(basename "$image_file")" || fail "the console program's resource BIN 8"

# console NAME PROGRAM ARGS...: the console program with no console and no
# input; its output in $work/run/NAME.out (line ends made LF), its errors in
# NAME.err. Returns its exit status.
console() {
    local name=$1 status=0
    shift
    wine "$@" </dev/null >"$work/run/$name.raw" 2>"$work/run/$name.err" || status=$?
    tr -d '\r' <"$work/run/$name.raw" >"$work/run/$name.out"
    return "$status"
}

# What the window lists (its first entry, COM1, is the one it selects) and the
# COM ports this prefix maps; the order is the window's (a unit check holds the
# printed order against a sorted list's).
console list-ports "$serial_cli" --list-ports || true
if [[ "$(head -n 1 "$work/run/list-ports.out")" == COM1 ]] && grep -qx COM2 "$work/run/list-ports.out" &&
    grep -qx COM3 "$work/run/list-ports.out" && grep -qx COM4 "$work/run/list-ports.out" && ! grep -qvx 'COM[0-9]*' "$work/run/list-ports.out"; then
    pass "--list-ports of a serial model: $(tr '\n' ' ' <"$work/run/list-ports.out")"
else
    fail "--list-ports of a serial model: $(tr '\n' ' ' <"$work/run/list-ports.out")"
fi
console list-usb "$cli" --list-ports || true
[[ "$(cat "$work/run/list-usb.out")" == USB ]] && pass "--list-ports of the QB7: USB" ||
    fail "--list-ports of the QB7: $(cat "$work/run/list-usb.out")"
console list "$cli" --list || true
grep -qE '^COM1 +serial +- +- +\\\\\.\\COM1$' "$work/run/list.out" &&
    pass "--list names COM1 by its device path" || { fail "--list"; cat "$work/run/list.out"; }

status=0
console refuse "$cli" --placeholder || status=$?
[[ $status -eq 2 ]] && grep -q 'there is no terminal to answer on' "$work/run/refuse.err" &&
    pass "with no console and no --yes, the QB7 refuses to start (exit status 2)" ||
    fail "no console, no --yes: exit status $status"

# usage_error NAME TEXT ARGS...: the console program refuses ARGS as a usage
# error (exit status 2) whose words hold TEXT.
usage_error() {
    local name=$1 text=$2 status=0
    shift 2
    console "$name" "$serial_cli" "$@" || status=$?
    [[ $status -eq 2 ]] && grep -qF -- "$text" "$work/run/$name.err" &&
        pass "$* is a usage error: $(head -n 1 "$work/run/$name.err")" ||
        fail "$*: exit status $status, $(cat "$work/run/$name.err")"
}
usage_error port-without-name "--port needs a port name" --port --yes
usage_error same-plc-twice 'are the same PLC (\\.\COM1)' --port COM1 --port '\\.\COM1' \
    --yes --placeholder

# served_verdict COM OUT: the PLC behind COM has ended after its burn and says
# whether its flash equals the image.
served_verdict() {
    local status=0
    wait "${served[$1]}" || status=$?
    unset "served[$1]"
    if [[ "$status" -eq 0 ]]; then
        pass "${1^^}: simulated PLC: $(grep 'flash equals image' "$2")"
    else
        fail "${1^^}: simulated PLC: $(grep 'flash equals image' "$2" || echo 'no verdict')"
    fi
}
# unserve COM: ends the PLC behind COM, whose burn did not end.
unserve() {
    kill "${served[$1]}" 2>/dev/null || true
    wait "${served[$1]}" 2>/dev/null || true
    unset "served[$1]"
}
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }
# Without a console every line of the output for a person starts with its time.
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z '

echo "== Console program: a firmware file of any model; a PLC read, never changed"
# An NT4 file that the QB7 program burns on COM1, and two PLCs at once below.
file_image=$work/run/NT4_from_file_v0.0.2.bin
head -c 65536 /dev/urandom >"$file_image"
file_image_w=$(winepath -w "$file_image")
serve com1 "$work/run/read-plc.out" --model NT4 --timeout 60
console identify "$cli" --identify --port COM1 &&
    grep -qx 'COM1: NT4 (type 0x000E), running its application' "$work/run/identify.out" &&
    console identify-json "$cli" --identify --port COM1 --json &&
    [[ "$(grep -c . "$work/run/identify-json.out")" -eq 1 ]] &&
    grep -q '^{"event": "identify", "port": "COM1", .*"model": "NT4"' "$work/run/identify-json.out" &&
    pass "--identify: $(cat "$work/run/identify.out"), and one identify event in JSON" ||
    fail "--identify: $(cat "$work/run/identify.out" "$work/run/identify-json.out")"
status=0
console check "$serial_cli" --check --port COM1 --placeholder || status=$?
wine_done
unserve com1
[[ $status -eq 0 ]] && grep -qE "^${stamp}ready to burn: a NT4 " "$work/run/check.out" &&
    grep -q '^erase commands: 0 ' "$work/run/read-plc.out" &&
    grep -qx 'handovers to bootloader: 0' "$work/run/read-plc.out" &&
    pass "--check: ready to burn, exit status 0; the PLC saw no erase and no hand-over" ||
    { fail "--check: exit status $status"; cat "$work/run/check.out" "$work/run/read-plc.out"; }
serve com1 "$work/run/file-plc.out" --model NT4 --image "$file_image" --exit-after-burn --timeout 60
status=0
console file-burn "$cli" --port COM1 --image "$file_image_w" || status=$?
[[ $status -eq 0 ]] && pass "--image $(basename "$file_image") on COM1: exit status 0" ||
    fail "--image on COM1: exit status $status, $(tail -n 2 "$work/run/file-burn.out")"
served_verdict com1 "$work/run/file-plc.out"

# A station watching COM1: the PLC connected once it watches is burnt, and the
# station stops on Ctrl-C once nothing runs.
rm -f "$work/run/com1"
wine "$cli" --watch --port COM1 --image "$file_image_w" --json </dev/null \
    >"$work/run/station.raw" 2>"$work/run/station.err" &
station_pid=$!
if wait_until 30 grep -q '"state": "watching"' "$work/run/station.raw"; then
    serve com1 "$work/run/station-plc.out" --model NT4 --image "$file_image" --timeout 60
    wait_until 60 grep -q '"port": "COM1", "state": "take_out", "message": "done' "$work/run/station.raw" ||
        true
    # Taken away at once: the station asks the port between burns, and a new
    # opening of the simulated PLC's bootloader starts its bookkeeping anew.
    kill "${served[com1]}" 2>/dev/null || true
    served_verdict com1 "$work/run/station-plc.out"
    kill -INT "$station_pid"
fi
status=0
wait "$station_pid" || status=$?
[[ $status -eq 0 ]] && grep -q '"state": "take_out", "message": "done' "$work/run/station.raw" &&
    pass "--watch on COM1: the PLC connected was burnt, and Ctrl-C stopped the station (exit 0)" ||
    { fail "--watch on COM1: exit status $status"; tr -d '\r' <"$work/run/station.raw" | tail -n 5; }

# The station's Wine programs have all ended; the next ones start a server of
# their own, never one that is still ending.
wine_done

# A station watching the PLC USB interfaces of a fake listing (the test setting
# NORVANE_FWUPDATE_PLC_INTERFACES: each line an interface path and the device its
# pipe opens). The QB7 plugged in once it watches is burnt, its replug answered
# by the interface leaving the listing and coming back; plugged in again after
# its success it is known by its USB serial number and not burnt twice.
interface='\\?\usb#vid_6c2e&pid_0001#SN-WINE1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}'
listing=$work/run/plc-interfaces.txt
# Written whole and then renamed, so the program never reads half a listing.
plug_interface() {
    printf '%s\t\\\\.\\COM1\n' "$interface" >"$listing.new" && mv "$listing.new" "$listing"
}
pull_interface() { : >"$listing.new" && mv "$listing.new" "$listing"; }
pull_interface
usb_record=$work/run/usb-station.jsonl
: >"$work/run/usb-station.raw"  # looked at before the program's own redirection opens it
NORVANE_FWUPDATE_PLC_INTERFACES=$(winepath -w "$listing") wine "$testable_cli" --watch \
    --image "$(winepath -w "$image_file")" --placeholder --json --record "$(winepath -w "$usb_record")" \
    </dev/null >"$work/run/usb-station.raw" 2>"$work/run/usb-station.err" &
station_pid=$!
usb_said() { tr -d '\r' <"$work/run/usb-station.raw" | grep -q "$1"; }
if wait_until 30 usb_said '"state": "watching"'; then
    serve com1 "$work/run/usb-station-plc.out" --model QB7 --image "$image_file" \
        --exit-after-burn --until-started --timeout 120
    plug_interface
    # Two replugs: the hand-over's, and once burnt the one that starts the new
    # firmware, which the station then asks what it runs.
    if wait_until 60 usb_said '"for": "replug"'; then
        pull_interface
        sleep 1
        plug_interface
    fi
    usb_said_after() { tr -d '\r' <"$work/run/usb-station.raw" | sed -n "/$1/,\$p" | grep -q "$2"; }
    if wait_until 120 usb_said_after '"phase": "Programming"' '"for": "replug"'; then
        pull_interface
        sleep 1
        plug_interface
    fi
    wait_until 120 usb_said '"state": "take_out", "message": "done' || true
    served_verdict com1 "$work/run/usb-station-plc.out"
    pull_interface
    wait_until 10 usb_said '"state": "empty"' || true
    plug_interface
    wait_until 10 usb_said '"message": "already burnt (USB serial number SN-WINE1,' || true
    pull_interface
    kill -INT "$station_pid"
fi
status=0
wait "$station_pid" || status=$?
if [[ $status -eq 0 ]] && usb_said '"message": "already burnt (USB serial number SN-WINE1,' &&
    grep '"usb_serial": "SN-WINE1"' "$usb_record" 2>/dev/null | grep -q '"exit_status": 0,' &&
    [[ "$(wc -l <"$usb_record")" -eq 1 ]]; then
    pass "--watch on a fake PLC USB interface: burnt once through its replug, known again by SN-WINE1 (exit 0)"
else
    fail "--watch on a fake PLC USB interface: exit status $status"
    tr -d '\r' <"$work/run/usb-station.raw" | tail -n 8
    cat "$usb_record" 2>/dev/null || true
fi

echo "== Console program: burns"
wine_done
# Three things at once: a silent PLC on COM4, whose first exchange's six read
# time-outs take about 20 s; the QB7 on COM1; and meanwhile the serial model's
# burns on COM2 and COM3, two PLCs at once, then one from a console.

# A record in a folder whose name has spaces, which the children of a run for
# several PLCs get on their command lines.
rm -rf "$work/run/burn records"
mkdir -p "$work/run/burn records"
record="$work/run/burn records/line 1.jsonl"
record_w=$(winepath -w "$record")

serve com4 "$work/run/silent-plc.out" --model QB7 --fault silent --timeout 90
silent_started=$(date +%s%N)
wine "$cli" --port COM4 --yes --placeholder </dev/null \
    >"$work/run/silent.raw" 2>"$work/run/silent.err" &
silent_pid=$!

# The QB7 through the PLC's pipe link, opened overlapped on COM1's device path;
# the replug is the line's close and reopen. JSON lines, and the record.
serve com1 "$work/run/qb7-plc.out" --model QB7 --image "$image_file" --exit-after-burn \
    --timeout 120 --line-figures
qb7_started=$(date +%s%N)
wine "$cli" --port '\\.\COM1' --yes --placeholder --json --record "$record_w" </dev/null \
    >"$work/run/qb7.raw" 2>"$work/run/qb7.err" &
qb7_pid=$!

# Two PLCs at once on COM2 and COM3, each burnt by a child of its own that
# reads the firmware file from the parent on its standard input.
serve com2 "$work/run/several2-plc.out" --model NT4 --image "$file_image" --exit-after-burn --timeout 60
serve com3 "$work/run/several3-plc.out" --model NT4 --image "$file_image" --exit-after-burn --timeout 60
status=0
console several "$cli" --port COM2 --port COM3 --yes --image "$file_image_w" --json \
    --record "$record_w" || status=$?
[[ $status -eq 0 ]] && pass "two PLCs at once: exit status 0" || fail "two PLCs at once: exit status $status"
out=$(wine "$console_check" 2>>"$wine_log" json "$(winepath -w "$work/run/several.out")" 0 COM2 COM3 | tr -d '\r') &&
    pass "--json of two PLCs: $(echo $out)" || { fail "--json of two PLCs"; echo "$out"; }
served_verdict com2 "$work/run/several2-plc.out"
served_verdict com3 "$work/run/several3-plc.out"

# The serial model on COM2 from a console (script gives the program one, on a
# pseudo-terminal): the live status line, then the final message.
serve com2 "$work/run/serial-plc.out" --model NT4 --image "$serial_image" --exit-after-burn \
    --timeout 60 --line-figures
started=$(date +%s%N)
status=0
timeout 120 script -qec "wine '$serial_cli' --port COM2 --placeholder" /dev/null </dev/null \
    >"$work/run/live.raw" 2>&1 || status=$?
serial_ms=$(ms_since "$started")
# Wine's console draws the screen with control sequences of its own and shows
# the erase-line sequence it is given as text; both are taken out.
sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\x1b//g' \
    "$work/run/live.raw" | tr '\r' '\n' >"$work/run/live.out"
[[ $status -eq 0 ]] && grep -q 'INFORMATION: Firmware update is SUCCESSFUL' "$work/run/live.out" &&
    pass "serial model on COM2: INFORMATION: Firmware update is SUCCESSFUL, exit status 0" ||
    fail "serial model on COM2: exit status $status"
grep -qE '\[[#-]{30}\] *[0-9]+ *% *Programming' "$work/run/live.out" &&
    ! grep -qE "^($stamp)?\[ *[0-9]+ s\] " "$work/run/live.out" &&
    pass "on a console: the live status line" || fail "on a console: no live status line"
grep '^line transfer:' "$work/run/serial-plc.out" || true
served_verdict com2 "$work/run/serial-plc.out"

status=0
wait "$qb7_pid" || status=$?
qb7_ms=$(ms_since "$qb7_started")
tr -d '\r' <"$work/run/qb7.raw" >"$work/run/qb7.out"
[[ $status -eq 0 ]] &&
    grep -q '"message": "Firmware update is SUCCESSFUL!, please REPLUG the USB cable"' "$work/run/qb7.out" &&
    pass "QB7 through the pipe link on \\\\.\\COM1: SUCCESSFUL, exit status 0" ||
    { fail "QB7 through the pipe link: exit status $status"; tail -n 3 "$work/run/qb7.out"; }
out=$(wine "$console_check" 2>>"$wine_log" json "$(winepath -w "$work/run/qb7.out")" 0 '\\.\COM1' | tr -d '\r') &&
    pass "--json: every line an event of \\\\.\\COM1 ($out)" || { fail "--json"; echo "$out"; }
grep '^line transfer:' "$work/run/qb7-plc.out" || true
served_verdict com1 "$work/run/qb7-plc.out"

status=0
wait "$silent_pid" || status=$?
silent_ms=$(ms_since "$silent_started")
tr -d '\r' <"$work/run/silent.raw" >"$work/run/silent.out"
[[ $status -eq 1 ]] && grep -qxE "${stamp}ERROR: NO RESPONSE @ State 1" "$work/run/silent.out" &&
    pass "silent PLC: ERROR: NO RESPONSE @ State 1, exit status 1, after $silent_ms ms" ||
    fail "silent PLC: exit status $status, $(tail -n 1 "$work/run/silent.out")"
unserve com4

if [[ "$(grep -c '"exit_status": 0, "seconds"' "$record")" -eq 3 ]] &&
    grep -qF '"port": "\\\\.\\COM1"' "$record" && grep -qF '"port": "COM2"' "$record" &&
    grep -qF '"port": "COM3"' "$record"; then
    pass "the record: a line for each of the three burns"
else
    fail "the record"
    cat "$record"
fi
# What each line says of its burn beyond the window's message.
record_fields='"erase_begun": true, "handed_over": true, "burn_id": "[0-9a-f]{32}", "written_by": "burn"'
[[ "$(grep -cE "$record_fields" "$record")" -eq 3 ]] &&
    pass "each record line has erase_begun, handed_over, burn_id and written_by" ||
    fail "record lines without erase_begun, handed_over, burn_id or written_by"

# Ctrl-C, once the programming has begun, ends a burn on COM3, and at the same
# time two burns of one run on COM1 and COM2. Each PLC holds the acknowledgement
# of an early block (block 30 of 1,024) for 8 s, within the tool's six tries of
# 3 s: each burn stands still there, its erase begun, however slowly the
# machine brought it there, and each is sent its Ctrl-C as soon as it is seen
# programming, never after the other has run to its end. Wine turns a SIGINT
# into Ctrl-C. The run's children are stopped by its stop event: under Wine
# there is no console to send them Ctrl-Break on.
for com in com1 com2 com3; do
    serve "$com" "$work/run/stop-$com-plc.out" --model NT4 --image "$serial_image" --timeout 60 \
        --hold-block 30 --hold-ms 8000
done
wine "$serial_cli" --port COM3 --placeholder </dev/null \
    >"$work/run/interrupt.raw" 2>"$work/run/interrupt.err" &
interrupt_pid=$!
wine "$serial_cli" --port COM1 --port COM2 --yes --placeholder --json </dev/null \
    >"$work/run/stop.raw" 2>"$work/run/stop.err" &
stop_pid=$!
both_programming() { [[ "$(grep -c '"phase": "Programming"' "$work/run/stop.raw" 2>/dev/null)" -ge 2 ]]; }
# Each is interrupted the moment it is seen programming; a run that is gone by
# then is a failure told, never the end of this script.
interrupt_sent=no
stop_sent=no
interrupt_when_programming() {
    if [[ $interrupt_sent == no ]] && grep -q Programming "$work/run/interrupt.raw" 2>/dev/null; then
        kill -INT "$interrupt_pid" 2>/dev/null && interrupt_sent=yes || interrupt_sent=gone
    fi
    if [[ $stop_sent == no ]] && both_programming; then
        kill -INT "$stop_pid" 2>/dev/null && stop_sent=yes || stop_sent=gone
    fi
    [[ $interrupt_sent != no && $stop_sent != no ]]
}
wait_until 60 interrupt_when_programming || true
[[ $interrupt_sent == yes ]] ||
    fail "Ctrl-C: the burn on COM3 was not seen programming while it ran ($interrupt_sent)"
[[ $stop_sent == yes ]] ||
    fail "Ctrl-C of two burns: they were not both seen programming while they ran ($stop_sent)"
status=0
wait "$interrupt_pid" || status=$?
tr -d '\r' <"$work/run/interrupt.raw" >"$work/run/interrupt.out"
[[ $status -eq 130 ]] &&
    grep -qE "^${stamp}Interrupted: the erase had begun, the PLC must be burned again" \
        "$work/run/interrupt.out" && ! grep -q SUCCESSFUL "$work/run/interrupt.out" &&
    pass "Ctrl-C ends the burn: exit status 130, the erase had begun" ||
    { fail "Ctrl-C: exit status $status"; cat "$work/run/interrupt.out"; }
grep -qxE "$stamp\[ *0 s\] Idle" "$work/run/interrupt.out" &&
    grep -qE "^$stamp\[ *[0-9]+ s\] Programming$" "$work/run/interrupt.out" &&
    pass "without a console: a line per phase" || fail "without a console: no phase lines"
status=0
wait "$stop_pid" || status=$?
tr -d '\r' <"$work/run/stop.raw" >"$work/run/stop.out"
out=$(wine "$console_check" 2>>"$wine_log" json "$(winepath -w "$work/run/stop.out")" 130 COM1 COM2 | tr -d '\r') &&
    [[ $status -eq 130 ]] &&
    [[ "$(grep -c '"event": "end", .*"erase_begun": true' "$work/run/stop.out")" -eq 2 ]] &&
    pass "Ctrl-C ends both burns of a run: exit status 130, each erase had begun" ||
    { fail "Ctrl-C of two burns: exit status $status"; echo "$out"; grep '"end"' "$work/run/stop.out"; }
for com in com1 com2 com3; do unserve "$com"; done

# A burn whose reader goes away: its standard output is a pipe that head closes
# after three lines. Once it is on the line (its trace says so) a second program
# asks for the same PLC under another name and is refused at once, told the
# first one's process number; the first burns on to its end, recorded.
serve com1 "$work/run/owner-plc.out" --model NT4 --image "$serial_image" --exit-after-burn --timeout 60
owner_record="$work/run/owner.jsonl"
rm -f "$owner_record"
(
    set +e
    wine "$serial_cli" --port COM1 --yes --placeholder --json --trace --record "$(winepath -w "$owner_record")" \
        </dev/null 2>"$work/run/owner.err" | head -n 3 >"$work/run/owner.out"
    echo "${PIPESTATUS[0]}" >"$work/run/owner.status"
) &
owner_pid=$!
if wait_until 30 grep -qs ' ms TX ' "$work/run/owner.err"; then
    holder=$(wine "$console_check" 2>>"$wine_log" pid "$(basename "$serial_cli")" | tr -d '\r') || true
    started=$(date +%s%N)
    status=0
    console second "$serial_cli" --port com1 --yes --placeholder || status=$?
    second_ms=$(ms_since "$started")
    [[ $status -eq 1 && -n "$holder" ]] && ((second_ms < 15000)) &&
        grep -q "cannot open .*: another program is burning this PLC (held by .*, pid $holder)" \
            "$work/run/second.out" "$work/run/second.err" &&
        pass "a second program on com1 is refused after $second_ms ms, naming pid $holder" ||
        { fail "a second program on com1: exit status $status, holder ${holder:-unknown}"
            cat "$work/run/second.out" "$work/run/second.err"; }
else
    fail "the burn whose output is closed early never wrote to COM1"
fi
wait "$owner_pid" || true
status=$(cat "$work/run/owner.status" 2>/dev/null || echo none)
[[ "$status" == 0 ]] && grep -q '"exit_status": 0' "$owner_record" &&
    grep -qE "$record_fields" "$owner_record" &&
    pass "output closed after $(wc -l <"$work/run/owner.out") lines: exit status 0, recorded" ||
    { fail "output closed early: exit status $status"
        cat "$owner_record" "$work/run/owner.err" 2>/dev/null | grep -v ' ms [TR]X ' || true; }
served_verdict com1 "$work/run/owner-plc.out"

# Ctrl-Break: Wine has no way to send it to a process, so the handler is
# raised from inside a program that installs it as the console program does.
# A handler that let the event through would end the program with no word.
for event in c break; do
    out=$(wine "$console_check" "$event" 2>>"$wine_log" | tr -d '\r') && [[ "$out" == *" ends the burn" ]] &&
        pass "$out" || fail "${out:-the event ended the check program}"
done
echo "console program burn times under Wine: serial model (NT4, 128 KiB) ${serial_ms} ms," \
    "QB7 through the pipe link ${qb7_ms} ms, silent PLC ${silent_ms} ms"

# ------------------------------------------------------------- the Windows zip
# As a user gets the programs: unpacked from the zip, started from that folder.
echo "== The Windows zip"
rm -rf "$build/packages" "$work/unpacked"
(cd "$build" && cpack >/dev/null)
zip=$(ls "$build"/packages/*.zip)
mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
folder=$(ls -d "$work"/unpacked/*/)
echo "$(basename "$zip"), $(stat -c %s "$zip") bytes:"
(cd "$folder" && ls -l)
for file in norvane-fwupdate.exe norvane-fwupdate-cli.exe README.txt; do
    [[ -f "$folder/$file" ]] && pass "the zip holds $file" || fail "the zip lacks $file"
done
# Both programs load at a place of the system's choosing (ASLR) and keep data
# out of execution (DEP).
for file in norvane-fwupdate.exe norvane-fwupdate-cli.exe; do
    # awk reads to the end: leaving early would end objdump with SIGPIPE,
    # which pipefail turns into the end of this script.
    traits=$(x86_64-w64-mingw32-objdump -p "$folder/$file" | awk '/^DllCharacteristics/ { on = 1; next }
        on && /^[A-Za-z]/ { on = 0 } on { print $1 }' | tr '\n' ' ')
    [[ "$traits" == *DYNAMIC_BASE* && "$traits" == *NX_COMPAT* ]] &&
        pass "$file: ASLR and DEP ($traits)" || fail "$file lacks ASLR or DEP: $traits"
done
version=$(sed -n 's/^project(norvane_fwupdate VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
grep -q "Program $version for Windows" "$folder/README.txt" && pass "README.txt names version $version" ||
    fail "README.txt does not name version $version"
if console zip-version "$folder/norvane-fwupdate-cli.exe" --version &&
    grep -qx "norvane-fwupdate $version" <(head -n 1 "$work/run/zip-version.out"); then
    pass "the unpacked console program runs: $(head -n 1 "$work/run/zip-version.out")"
else
    fail "the unpacked console program: $(cat "$work/run/zip-version.out" "$work/run/zip-version.err")"
fi
# The tests' settings do nothing in the zip's console program: a fake interface
# listing with a PLC in it, given as the Wine station check gives it, is not seen.
printf '%s\t\\\\.\\COM1\n' "$interface" >"$work/run/zip-interfaces.txt"
NORVANE_FWUPDATE_PLC_INTERFACES=$(winepath -w "$work/run/zip-interfaces.txt") \
    console zip-list "$folder/norvane-fwupdate-cli.exe" --list --json || true
if ! grep -q plc-usb "$work/run/zip-list.out" &&
    ! grep -qaE 'NORVANE_FWUPDATE_(SYSFS|DEV|LOCK_DIR|SILENCE_LIMIT|PLC_INTERFACES)' \
        "$folder/norvane-fwupdate-cli.exe" "$folder/norvane-fwupdate.exe"; then
    pass "the zip's programs honour no test setting (a fake PLC interface is not listed)"
else
    fail "the zip's console program honours the tests' settings: $(cat "$work/run/zip-list.out")"
fi
version_record=$(drive version "$(winepath -w "$folder/norvane-fwupdate.exe")")
grep -q "^ProductVersion=$version" <<<"$version_record" &&
    pass "the unpacked window program's version record says $version" ||
    fail "version record: $version_record"
wine "$folder/norvane-fwupdate.exe" >"$work/run/zip-program.log" 2>&1 &
if wait_window >/dev/null; then  # a window of the program's class and title
    pass "the unpacked window program opens its window"
    drive close
else
    fail "the unpacked window program's window did not appear"
fi
wine_done

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
