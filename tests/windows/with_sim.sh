#!/usr/bin/env bash
# Runs a Windows program under wine against the Linux simulator:
#     with_sim.sh [--direct] [--unix] [SIMULATOR OPTIONS...] -- PROGRAM [ARGS...]
# The simulator (QUORLINK_SIM) is started with the options and runs this script again inside,
# with QUORLINK_COM<n> naming its pseudo-terminals (or /nonexistent). Inside, the wine prefix's
# COM ports are pointed at them through the links in MORAVEL_WINE_PORTS:
#  - by default the run takes a free block of eight ports COM9 ... COM64 (one per run, so that
#    runs go side by side) and passes QUORLINK_COM<n>=COM<m> on, as a user names a port above COM8;
#  - with --direct it takes COM1 ... COM8 themselves (one run at a time) and passes no
#    QUORLINK_COM<n> on: the library opens the ports by their own names.
# With --unix, PROGRAM is a program of this machine (a script that runs wine itself).
# Needs WINEPREFIX (with its COM ports pointing into MORAVEL_WINE_PORTS) and QUORLINK_SIM.
set -euo pipefail

if [ "${1:-}" = --inside ]; then
  shift
  direct=0
  unix=0
  if [ "$1" = --direct ]; then
    direct=1
    shift
  fi
  if [ "$1" = --unix ]; then
    unix=1
    shift
  fi
  ports=${MORAVEL_WINE_PORTS:?}
  if [ "$direct" = 1 ]; then
    exec {lock}>"$ports/direct.lock"
    flock "$lock"
    base=0
  else
    base=
    for block in 1 2 3 4 5 6 7; do
      exec {lock}>"$ports/block$block.lock"
      if flock -n "$lock"; then
        base=$((block * 8))
        break
      fi
      exec {lock}>&-
    done
    if [ -z "$base" ]; then
      echo "with_sim.sh: all seven blocks of COM ports are in use" >&2
      exit 125
    fi
  fi
  for n in 1 2 3 4 5 6 7 8; do
    var=QUORLINK_COM$n
    ln -sfn "${!var:-/nonexistent}" "$ports/com$((base + n))"
    if [ "$direct" = 1 ]; then
      unset "$var"
    else
      export "$var=COM$((base + n))"
    fi
  done
  # Unless a wine server runs for the prefix already (scripts/windows-test.sh keeps one for the
  # whole run), start one that stays 10 s after its last program, and wine's services with it:
  # they would otherwise be started by the program and keep its output open after it ended.
  server=$(printf 'server-%x-%x' $(stat -c '%d %i' "${WINEPREFIX:?}"))
  if ! compgen -G "${TMPDIR:-/tmp}/wine-*/$server/socket" >/dev/null; then
    wineserver -p10 </dev/null >/dev/null 2>&1 {lock}>&- || true
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1 {lock}>&- || true
  fi
  status=0
  if [ "$unix" = 1 ]; then
    "$@" {lock}>&- || status=$?
  else
    wine "$@" {lock}>&- || status=$?
  fi
  # The ports lead nowhere again once the run is over.
  for n in 1 2 3 4 5 6 7 8; do
    ln -sfn "/nonexistent/com$((base + n))" "$ports/com$((base + n))"
  done
  exit "$status"
fi

sim_args=()
inside=(--inside)
unix_flag=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  if [ "$1" = --direct ]; then
    inside=(--inside --direct "${inside[@]:1}")
  elif [ "$1" = --unix ]; then
    unix_flag=(--unix)
  else
    sim_args+=("$1")
  fi
  shift
done
[ "${1:-}" = -- ] || { echo "usage: with_sim.sh [--direct] [SIMULATOR OPTIONS...] -- PROGRAM [ARGS...]" >&2; exit 2; }
shift
exec "${QUORLINK_SIM:?}" "${sim_args[@]}" -- "$0" "${inside[@]}" "${unix_flag[@]}" "$@"
