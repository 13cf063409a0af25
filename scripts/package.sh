#!/usr/bin/env bash
# Builds the Debian packages libquorlink1, libquorlink-dev, moravel and quorlink-sim into
# build/packages (a release build of the products only, in build/release):
#     scripts/package.sh
#     sudo apt install ./build/packages/*.deb
# Installs the Debian packages the build needs first (needs root or sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

# What a release build of the products and CPack's Debian generator need (no test libraries).
ensure_packages build-essential cmake ninja-build pkg-config nlohmann-json3-dev zlib1g-dev \
  qt6-base-dev libgl-dev dpkg-dev file gzip

build=build/release
out=build/packages

# Debian's compiler and linker flags (hardening: stack protector, fortify, relro, bindnow),
# without debug information: the packages are stripped and come without debug symbols.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

echo "== Release build for the packages ($build)"
configure_and_build "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DMORAVEL_BUILD_TESTS=OFF -DMORAVEL_BUILD_BENCH=OFF "${launcher[@]}" \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags"

echo "== Debian packages ($out)"
rm -rf "$out" "$build/packages"
(cd "$build" && cpack -G DEB -C Release >/dev/null)
mkdir -p "$out"
mv "$build"/packages/*.deb "$out"/
ls -1 "$out"/*.deb
