#!/usr/bin/env bash
# The demo: builds what is needed, starts the controller simulator on a pseudo-terminal
# (as COM3) and lets the example host program find the controller, read its position and
# close the connection. Afterwards the simulator lists every request it received.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

ensure_packages "${MORAVEL_PACKAGES[@]}"

echo "== Building the link library, the simulator and the example host program (build/plain)"
cmake -S . -B build/plain -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/plain -j "$(nproc)" --target quorlink quorlink-sim read_position >/dev/null

echo
echo "== Simulated controller \"NC-Travo USB    \" on COM3; COM1, COM2 and COM4..COM8 are absent."
echo "== The host scans COM1..COM8, connects, reads the position twice and closes:"
echo
build/plain/sim/quorlink-sim --ports COM3 --verbose -- build/plain/examples/read_position 2>&1
echo
echo "== Done. To talk to the simulator from your own program:"
echo "     build/plain/sim/quorlink-sim --ports COM3 -- your-program"
echo "   or run 'build/plain/sim/quorlink-sim --ports COM3' and export the QUORLINK_COM<n> lines it prints."
