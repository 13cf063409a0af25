# Shared by scripts/windows-test.sh and scripts/windows-bench.sh: the Linux side the Windows
# programs run against, and the wine prefix. Sourced (after scripts/common.sh) from the top of
# the tree, not run.

# Debian 12 packages of the Windows side: the cross compilers with the posix thread model
# (std::thread, GoogleTest), wine, NSIS.
MORAVEL_WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64 nsis googletest cmake ninja-build unzip
)

# windows_linux_side [TARGET...]: builds quorlink-sim (and the TARGETs) for Linux and sets `sim`
# and `linux_build`. Uses QUORLINK_SIM when set, else build/plain when it is configured, else a
# small build/win-host of the library and the simulator alone.
windows_linux_side() {
  if [ -n "${QUORLINK_SIM:-}" ] && [ $# -eq 0 ]; then
    sim=$QUORLINK_SIM
    return
  fi
  linux_build=build/plain
  if [ ! -f build/plain/build.ninja ]; then
    linux_build=build/win-host
    [ -f build/win-host/build.ninja ] || echo "== Linux simulator (build/win-host)"
    ensure_packages build-essential zlib1g-dev
    cmake -S . -B build/win-host -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORAVEL_BUILD_PROGRAMS=OFF \
      -DMORAVEL_BUILD_GUI=OFF -DMORAVEL_BUILD_TESTS=OFF -DMORAVEL_BUILD_BENCH=ON >/dev/null
  fi
  cmake --build "$linux_build" --target quorlink-sim "$@" -j "$(nproc)" >/dev/null
  sim=${QUORLINK_SIM:-$PWD/$linux_build/sim/quorlink-sim}
}

# windows_wine_prefix: the wine prefix build/wine (made once), whose COM1 ... COM64 lead to the
# links in build/wine-ports and nowhere else, and one wine server for the rest of the calling
# script. Exports what the programs under wine and tests/windows/with_sim.sh need.
windows_wine_prefix() {
  export WINEPREFIX=$PWD/build/wine
  export WINEDEBUG=-all
  # winedbg off: a crashing program then exits with its exception code instead of waiting in the
  # debugger (or exiting 0); no .NET or HTML engine: the prefix is made in seconds.
  export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
  export WINEARCH=win64
  ports=$PWD/build/wine-ports
  export QUORLINK_SIM=$sim MORAVEL_WINE_PORTS=$ports
  local port_count=64 n target reg
  mkdir -p "$ports"
  for n in $(seq 1 "$port_count"); do
    [ -L "$ports/com$n" ] || ln -sfn "/nonexistent/com$n" "$ports/com$n"
  done
  if [ ! -f "$WINEPREFIX/.moravel-ports" ]; then
    echo "== Wine prefix (build/wine)"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # Wine gives COM ports to the machine's /dev/ttyS* unless the registry names their devices.
    reg=$(mktemp --suffix=.reg)
    {
      printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
      for n in $(seq 1 "$port_count"); do printf '"COM%d"="%s/com%d"\r\n' "$n" "$ports" "$n"; done
    } >"$reg"
    wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
    rm -f "$reg"
    wineserver -w
    touch "$WINEPREFIX/.moravel-ports"
  fi
  # One wine server for the whole run (its output to /dev/null), so that each program starts
  # fast, and wine's services started with it, so that they hold no program's output open.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1
  # No COM port of the prefix may lead to a device of this machine.
  for n in $(seq 1 "$port_count"); do
    target=$(readlink "$WINEPREFIX/dosdevices/com$n" || true)
    if [ "$target" != "$ports/com$n" ]; then
      echo "error: COM$n of the wine prefix points at '$target', not at $ports/com$n" >&2
      exit 1
    fi
  done
}
