#!/usr/bin/env bash
# The main job: builds the tool and burns its embedded image into a simulated
# QB7 PLC served on a pseudo-terminal, with the live status and the final message.
# A real PLC attached by USB is never touched: the tool is pointed at the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh native
cmake --preset native >/dev/null
cmake --build --preset native --target norvane-fwupdate norvane-plcsim
tool=build/native/ui/cli/norvane-fwupdate
sim=build/native/sim/norvane-plcsim
image=$(ls build/native/placeholder/QB7_*.bin 2>/dev/null || true)
[ -n "${NORVANE_FIRMWARE:-}" ] && image=$NORVANE_FIRMWARE

out=$(mktemp)
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$out"' EXIT
"$sim" --model QB7 --image "$image" --exit-after-burn --timeout 120 >"$out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do pty=$(head -n 1 "$out"); [ -n "$pty" ] && break; sleep 0.1; done
echo "Simulated QB7 PLC on $pty"
"$tool" --version
echo
set +e
"$tool" --port "$pty" --yes --placeholder
status=$?
wait $sim_pid
echo
echo "--- the simulated PLC after the burn"
tail -n +2 "$out"
exit $status
