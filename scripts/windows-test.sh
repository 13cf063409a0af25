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
. scripts/windows-common.sh

start_time=$(date +%s)

ensure_packages "${MORAVEL_WINDOWS_PACKAGES[@]}"

windows_linux_side
windows_wine_prefix

# ---- Cross builds --------------------------------------------------------------------------
echo "== Windows build (mingw-w64, build/win64)"
export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-$(command -v ccache || true)}
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
# MORAVEL_BUILD_PROGRAMS: params/, app/controller and moravel-cli.exe (MORAVEL_WINDOWS_PROGRAMS=OFF: the library alone).
cmake --no-warn-unused-cli -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DMORAVEL_BUILD_PROGRAMS="${MORAVEL_WINDOWS_PROGRAMS:-ON}" \
  -DMORAVEL_WINE_PORTS="$ports" -DQUORLINK_SIM="$sim" -DMORAVEL_WINEPREFIX="$WINEPREFIX" >/dev/null
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
