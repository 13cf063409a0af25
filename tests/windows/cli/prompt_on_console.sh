#!/usr/bin/env bash
# moravel-cli.exe flash on a console (wine's console on a pseudo-terminal made by script(1)):
# the status texts show in UTF-8, the bootloader prompt waits for Enter, then the upload runs.
# Runs inside with_sim.sh --unix.
#     prompt_on_console.sh MORAVEL-CLI.EXE
set -u
work=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$work"' EXIT
head -c 3000 /dev/zero | tr '\0' 'Z' >"$work/firmware.bin"
mkfifo "$work/keys"
script -qec "wine '$1' flash --port COM3 --backup '$work/backup.ncp' '$work/firmware.bin'" /dev/null \
  <"$work/keys" >"$work/console" 2>&1 &
cli=$!
exec 3>"$work/keys"
# Enter only once the prompt is on the console (and nothing was sent before it).
until grep -qa "Press Enter when the bootloader is active (Ctrl-Z or Ctrl-C cancels)" "$work/console"; do
  kill -0 "$cli" 2>/dev/null || { echo "moravel-cli ended before its prompt:"; cat -v "$work/console"; exit 1; }
  sleep 0.05
done
grep -qa "Firmware" "$work/console" && { echo "the upload began before Enter"; exit 1; }
printf '\r' >&3
status=0
wait "$cli" || status=$?
# The console's own cursor sequences stripped, the texts are left.
text=$(sed 's/\x1b\[?25[lh]//g; s/\x1b\[K\x1b\[1C/ /g' "$work/console")
fail=0
[ "$status" = 0 ] || { echo "exit status $status"; fail=1; }
grep -qa "Parameterübertragung ist abgeschlossen." <<<"$text" || { echo "no UTF-8 status text"; fail=1; }
grep -qa "Checksumme prüfen" <<<"$text" || { echo "the upload did not run"; fail=1; }
[ -s "$work/backup.ncp" ] || { echo "no backup"; fail=1; }
[ "$fail" = 0 ] || cat -v "$work/console"
exit "$fail"
