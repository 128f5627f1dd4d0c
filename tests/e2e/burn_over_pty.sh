#!/usr/bin/env bash
# One burn by the built command-line program against the simulated PLC served
# on a pseudo-terminal. Usage: burn_over_pty.sh qb7|serial|silent|interrupt TOOL SIM IMAGE
set -u
scenario=$1 tool=$2 sim=$3 image=$4
work=$(mktemp -d)
trap 'kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT

fail() { echo "FAIL ($scenario): $*"; echo "--- tool"; cat "$work/tool.out"; echo "--- sim"; cat "$work/sim.out"; exit 1; }
# A line of the tool's output without a terminal: its UTC time, then the text.
said() { grep -qE "^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z $1\$" "$work/tool.out"; }

case $scenario in
    qb7) sim_args=(--model QB7) ;;
    serial) sim_args=(--model NT4) ;;
    silent) sim_args=(--model QB7 --fault silent) ;;
    interrupt) sim_args=(--model QB7) ;;
    *) echo "unknown scenario $scenario"; exit 2 ;;
esac
"$sim" "${sim_args[@]}" --image "$image" --exit-after-burn --timeout 60 >"$work/sim.out" 2>&1 &
sim_pid=$!
pty=""
for _ in $(seq 100); do
    pty=$(head -n 1 "$work/sim.out" 2>/dev/null)
    [ -n "$pty" ] && break
    sleep 0.1
done
[ -n "$pty" ] || fail "the simulated PLC printed no pseudo-terminal"

if [ "$scenario" = interrupt ]; then
    # Ctrl-C once the programming has begun.
    "$tool" --port "$pty" --yes --placeholder </dev/null >"$work/tool.out" 2>&1 &
    tool_pid=$!
    for _ in $(seq 300); do
        grep -q Programming "$work/tool.out" && break
        sleep 0.1
    done
    kill -INT "$tool_pid"
    wait "$tool_pid"
    status=$?
else
    "$tool" --port "$pty" --yes --placeholder </dev/null >"$work/tool.out" 2>&1
    status=$?
fi
if [ "$scenario" = silent ] || [ "$scenario" = interrupt ]; then
    kill "$sim_pid" 2>/dev/null
fi
wait "$sim_pid"
sim_status=$?

case $scenario in
    qb7)
        [ $status -eq 0 ] || fail "exit status $status, expected 0"
        said 'Information: Firmware update is SUCCESSFUL!, please REPLUG the USB cable' ||
            fail "no success message"
        grep -q '^erase commands: 506 ' "$work/sim.out" || fail "not 506 erase units"
        grep -q '^blocks written: 8096 ' "$work/sim.out" || fail "not 8096 blocks"
        grep -qx 'flash equals image: yes' "$work/sim.out" || fail "flash differs from the image"
        [ $sim_status -eq 0 ] || fail "simulator exit status $sim_status"
        ;;
    serial)
        [ $status -eq 0 ] || fail "exit status $status, expected 0"
        said 'INFORMATION: Firmware update is SUCCESSFUL' || fail "no success message"
        grep -q '^line speeds seen: 9600 .*115200' "$work/sim.out" || fail "the line was not 9600 then 115200"
        grep -qx 'speed violations: 0' "$work/sim.out" || fail "requests at the wrong speed"
        grep -qx 'flash equals image: yes' "$work/sim.out" || fail "flash differs from the image"
        ;;
    silent)
        [ $status -eq 1 ] || fail "exit status $status, expected 1"
        said 'ERROR: NO RESPONSE @ State 1' || fail "no NO RESPONSE message"
        ;;
    interrupt)
        [ $status -eq 130 ] || fail "exit status $status, expected 130"
        grep -q 'the erase had begun, the PLC must be burned again' "$work/tool.out" ||
            fail "no word that the PLC must be burned again"
        grep -q 'SUCCESSFUL' "$work/tool.out" && fail "success reported after Ctrl-C"
        ;;
esac
echo "PASS ($scenario)"
tail -n 3 "$work/tool.out"
