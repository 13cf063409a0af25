#!/usr/bin/env bash
# moravel-cli.exe read stopped by Ctrl-C (wine turns SIGINT into the console's CTRL_C_EVENT):
# exit status 130, the stop named, nothing written. Runs inside with_sim.sh --unix.
#     stop_by_ctrl_c.sh MORAVEL-CLI.EXE
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wine "$1" read --port COM3 -o "$work/set.ncp" 2>"$work/err" &
cli=$!
# The sweep has begun once its status text is out; it takes 38 pauses of 100 ms.
until grep -q "Parameterübertragung \.\.\." "$work/err" 2>/dev/null; do
  kill -0 "$cli" 2>/dev/null || { echo "moravel-cli ended before the sweep:"; cat "$work/err"; exit 1; }
  sleep 0.05
done
kill -INT "$cli"
status=0
wait "$cli" || status=$?
fail=0
[ "$status" = 130 ] || { echo "exit status $status, not 130"; fail=1; }
grep -q "stopped by Ctrl-C; nothing written" "$work/err" || { echo "no stop message"; fail=1; }
[ ! -e "$work/set.ncp" ] || { echo "set.ncp was written"; fail=1; }
[ "$(ls -A "$work" | grep -v '^err$')" = "" ] || { echo "files left: $(ls -A "$work")"; fail=1; }
[ "$fail" = 0 ] || cat "$work/err"
exit "$fail"
