#!/usr/bin/env bash
# The Windows side, built and tested on Debian:
#  1. installs mingw-w64 (posix thread model), wine64 and nsis when they are missing,
#  2. cross-builds quorlink.dll and the tests into build/win64 (and the 32-bit DLL into
#     build/win32, whose exports are checked),
#  3. creates a wine prefix once (build/wine) whose COM1 ... COM64 are links in build/wine-ports
#     that point at the Linux simulator's pseudo-terminals or at nothing, never at a real port,
#  4. runs CTest of the cross build: the test programs run under wine against the simulator
#     of the Linux build (build/plain, or a small build/win-host when there is none),
#  5. makes the zip and the installer, checks that neither names a path of this machine,
#     installs the installer silently into the prefix and runs the installed program.
# Environment: QUORLINK_SIM (the simulator to use), CTEST_JOBS (default 4).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
top=$PWD
start_time=$(date +%s)

ensure_packages g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 \
  binutils-mingw-w64-i686 wine64 nsis cmake ninja-build

# ---- The Linux simulator -------------------------------------------------------------------
sim=${QUORLINK_SIM:-}
if [ -z "$sim" ]; then
  if [ -f build/plain/build.ninja ]; then
    cmake --build build/plain --target quorlink-sim >/dev/null
    sim=$top/build/plain/sim/quorlink-sim
  else
    echo "== Linux simulator (build/win-host)"
    ensure_packages build-essential zlib1g-dev
    cmake -S . -B build/win-host -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORAVEL_BUILD_PROGRAMS=OFF \
      -DMORAVEL_BUILD_GUI=OFF -DMORAVEL_BUILD_TESTS=OFF -DMORAVEL_BUILD_BENCH=OFF >/dev/null
    cmake --build build/win-host --target quorlink-sim -j "$(nproc)" >/dev/null
    sim=$top/build/win-host/sim/quorlink-sim
  fi
fi

# ---- The wine prefix -----------------------------------------------------------------------
export WINEPREFIX=$top/build/wine
export WINEDEBUG=-all
# winedbg off: a crashing program then exits with its exception code instead of waiting in the
# debugger (or exiting 0); no .NET or HTML engine: the prefix is made in seconds.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
export WINEARCH=win64
ports=$top/build/wine-ports
export QUORLINK_SIM=$sim MORAVEL_WINE_PORTS=$ports
port_count=64
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
# One wine server for the whole run (its output to /dev/null), so that each test starts fast.
wineserver -k >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd /c exit 0 >/dev/null 2>&1
# No COM port of the prefix may lead to a device of this machine.
for n in $(seq 1 "$port_count"); do
  target=$(readlink "$WINEPREFIX/dosdevices/com$n" || true)
  if [ "$target" != "$ports/com$n" ]; then
    echo "error: COM$n of the wine prefix points at '$target', not at $ports/com$n" >&2
    exit 1
  fi
done

# ---- Cross builds --------------------------------------------------------------------------
echo "== Windows build (mingw-w64, build/win64)"
export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-$(command -v ccache || true)}
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
# MORAVEL_BUILD_PROGRAMS: params/, app/controller and moravel-cli.exe (MORAVEL_WINDOWS_PROGRAMS=OFF: the library alone).
cmake --no-warn-unused-cli -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DMORAVEL_BUILD_PROGRAMS="${MORAVEL_WINDOWS_PROGRAMS:-ON}" \
  -DMORAVEL_WINE_PORTS="$ports" -DQUORLINK_SIM="$sim" >/dev/null
cmake --build build/win64 -j "$(nproc)"

echo "== 32-bit DLL (build/win32)"
cmake --no-warn-unused-cli -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release -DMORAVEL_BUILD_PROGRAMS=OFF -DMORAVEL_BUILD_BENCH=OFF -DMORAVEL_WINE_TESTS=OFF >/dev/null
cmake --build build/win32 -j "$(nproc)"

echo "== Windows tests (under wine)"
ctest --test-dir build/win64 --output-on-failure -j "${CTEST_JOBS:-4}" --timeout 180
ctest --test-dir build/win32 --output-on-failure --timeout 60

# ---- Packages ------------------------------------------------------------------------------
echo "== Windows packages (zip, installer)"
rm -rf build/win64/packages
(cd build/win64 && cpack -G "ZIP;NSIS64" >/dev/null)
scripts/windows-package-check.sh build/win64/packages

echo "== Windows side passed in $(($(date +%s) - start_time)) s"
