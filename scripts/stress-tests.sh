#!/usr/bin/env bash
# stress-tests.sh [N]: runs the whole test suite of the plain build N times (default 5) while
# two processes keep both of a small machine's cores busy, and counts the failed test cases
# over all runs. A test that fails here only now and then depends on timing it cannot rely on.
# Builds build/plain as scripts/test.sh does, or reuses it.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

runs=${1:-5}
if ! [[ $runs =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [number of runs]" >&2
  exit 2
fi

ensure_packages "${MORAVEL_PACKAGES[@]}"
ensure_german_locale

export QT_QPA_PLATFORM=offscreen
ctest_jobs=${CTEST_JOBS:-4}

echo "== Plain build"
configure_and_build build/plain -DCMAKE_UNITY_BUILD=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"

hogs=()
stop_hogs() {
  if [ "${#hogs[@]}" -gt 0 ]; then
    kill "${hogs[@]}" 2>/dev/null || true
    wait "${hogs[@]}" 2>/dev/null || true
  fi
  hogs=()
}
trap stop_hogs EXIT
trap 'stop_hogs; exit 130' INT
trap 'stop_hogs; exit 143' TERM
for _ in 1 2; do
  yes >/dev/null &
  hogs+=("$!")
done

failed_log=build/plain/Testing/Temporary/LastTestsFailed.log
failures=()
for run in $(seq "$runs"); do
  echo "== Run $run of $runs (two CPU hogs running)"
  rm -f "$failed_log"
  ctest --test-dir build/plain --output-on-failure -j "$ctest_jobs" --timeout 180 || true
  if [ -f "$failed_log" ]; then
    # Lines "number:name", one per failed test case.
    while IFS=: read -r _ name; do
      [ -n "$name" ] && failures+=("run $run: $name")
    done <"$failed_log"
  fi
done
stop_hogs

echo "== Failed test cases"
for f in "${failures[@]}"; do
  echo "$f"
done
echo "$runs runs, ${#failures[@]} failed tests"
[ "${#failures[@]}" -eq 0 ]
