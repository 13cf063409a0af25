#!/usr/bin/env bash
# The library's command overhead over the 100 ms pause, quorlink.dll under wine beside the Linux
# library, against the same simulator in the same run (bench/overhead/bench_overhead.c):
#     scripts/windows-bench.sh [COMMANDS]      (200 by default; after scripts/windows-test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
. scripts/windows-common.sh
commands=${1:-200}
[ -f build/win64/build.ninja ] || { echo "error: run scripts/windows-test.sh first (build/win64)" >&2; exit 1; }

windows_linux_side bench_overhead
windows_wine_prefix
cmake --build build/win64 --target bench_overhead >/dev/null

"$sim" --ports COM3 -- "$linux_build/bench/overhead/bench_overhead" "$commands"
tests/windows/with_sim.sh --ports COM3 -- build/win64/bin/bench_overhead.exe "$commands" | tr -d '\r'
