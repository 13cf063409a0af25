#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh), checks them with lintian, installs them,
# runs the installed programs against the installed simulator, builds the example host program
# against the installed libquorlink-dev (CMake and pkg-config), and removes the packages again,
# also when a step fails. Meant for a disposable machine: it installs into /usr (needs root or
# sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh
start=$SECONDS

scripts/package.sh
ensure_packages lintian man-db appstream desktop-file-utils

debs=(build/packages/*.deb)
packages=(libquorlink1 libquorlink-dev moravel quorlink-sim)

echo "== lintian"
# Errors fail the check; warnings are shown (the accepted ones are overridden with a reason).
lintian --fail-on error "${debs[@]}"

echo "== Metadata"
work=$(mktemp -d)
remove_packages() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap remove_packages EXIT
dpkg-deb -x build/packages/moravel_*.deb "$work/moravel"
appstreamcli validate --no-net "$work"/moravel/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$work/moravel/usr/share/applications/moravel.desktop"

echo "== Installing the packages"
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${debs[@]/#/./}" >/dev/null
dpkg -l "${packages[@]}" | grep '^ii'

echo "== The installed programs"
test "$(command -v moravel-cli)" = /usr/bin/moravel-cli
test "$(command -v quorlink-sim)" = /usr/bin/quorlink-sim
moravel-cli --version
for page in moravel moravel-cli quorlink-sim quorlink.3; do
  man -w "$page"
done
# The library exports exactly the symbols the packages' symbols file lists, and its manual page
# names every one of them.
dpkg-deb -e build/packages/libquorlink1_*.deb "$work/control"
listed=$(sed -n 's/^ \([A-Za-z_0-9]*\)@Base .*/\1/p' "$work/control/symbols" | sort)
exported=$(nm -D --defined-only /usr/lib/*/libquorlink.so.1 | awk '$2 == "T" {print $3}' | sort)
if [ "$listed" != "$exported" ] || [ "$(wc -l <<<"$listed")" -ne 30 ]; then
  echo "error: symbols file and library exports differ:" >&2
  diff <(echo "$listed") <(echo "$exported") >&2 || true
  exit 1
fi
for name in $listed; do
  man 3 quorlink 2>/dev/null | grep -q "$name" || { echo "error: quorlink(3) does not name $name" >&2; exit 1; }
done
# No build-tree paths in the installed programs.
if readelf -d /usr/bin/moravel /usr/bin/moravel-cli /usr/bin/quorlink-sim | grep -E 'RPATH|RUNPATH'; then
  echo "error: an installed program carries an RPATH" >&2
  exit 1
fi
(cd "$work" && quorlink-sim --ports COM3 -- moravel-cli read -o read.ncp && moravel-cli check read.ncp)
# The completion loads where bash-completion looks for it.
bash packaging/test-completion.sh /usr/share/bash-completion/completions/moravel-cli

echo "== Example host program against libquorlink-dev"
cmake -S examples -B "$work/example" -G Ninja >/dev/null
cmake --build "$work/example" >/dev/null
cc -Wall -Wextra -Werror -o "$work/example/read_position_pc" examples/read_position.c $(pkg-config --cflags --libs quorlink)
quorlink-sim --ports COM3 -- "$work/example/read_position"
quorlink-sim --ports COM3 -- "$work/example/read_position_pc"

echo "== Removing the packages"
trap - EXIT
remove_packages
if dpkg -l "${packages[@]}" 2>/dev/null | grep -q '^ii'; then
  echo "error: packages still installed" >&2
  exit 1
fi
echo "== Packages checked in $((SECONDS - start)) s"
