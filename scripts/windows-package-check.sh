#!/usr/bin/env bash
# Checks the Windows zip and installer that cpack made in PACKAGE_DIR:
#     scripts/windows-package-check.sh build/win64/packages
#  - the zip holds the files a user needs, and no file in it names a path of this machine;
#  - the installer installs silently under wine (WINEPREFIX) into Program Files with bin\ on the
#    current user's PATH (/PATH=user), the installed program runs (moravel-cli.exe --version, or
#    the sample host read_position.exe against the simulator when the CLI is not built), the
#    installed tree names no path of this machine either, and the silent uninstall removes the
#    folder, the PATH entry and the uninstall entry.
# Needs WINEPREFIX with a running wine server, QUORLINK_SIM and MORAVEL_WINE_PORTS (for the sample
# host), as scripts/windows-test.sh sets them.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
packages=$1
zip=$(ls "$packages"/quorlink-*-win64.zip)
installer=$(ls "$packages"/quorlink-*-win64.exe)
version=${zip##*/quorlink-}
version=${version%-win64.zip}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "error: $*" >&2
  exit 1
}

# Paths of this machine that a file could carry: the source and build trees, the tool chain's
# folders, the home folder.
machine_paths=("$top" /usr/lib/gcc /usr/share/mingw /usr/x86_64-w64-mingw32 /build/ "$HOME/" "${TMPDIR:-/tmp}/")
check_no_machine_paths() {
  local tree=$1 file path
  while IFS= read -r -d '' file; do
    for path in "${machine_paths[@]}"; do
      if strings -a "$file" | grep -qF "$path" || strings -a -el "$file" | grep -qF "$path"; then
        fail "$file names the build machine's path $path"
      fi
    done
  done < <(find "$tree" -type f -print0)
}

echo "-- $(basename "$zip"): $(stat -c %s "$zip") bytes; $(basename "$installer"): $(stat -c %s "$installer") bytes"
unzip -q "$zip" -d "$work/zip"
root=$(ls -d "$work"/zip/quorlink-*)
for file in bin/quorlink.dll include/quorlink.h lib/libquorlink.dll.a lib/quorlink.lib lib/quorlink.def \
  share/moravel/NC-Travo_USB_Param_NEW.ncp README-Windows.txt; do
  [ -f "$root/$file" ] || fail "the zip lacks $file"
done
[ -f "$root/bin/moravel-cli.exe" ] || echo "-- note: moravel-cli.exe is not built yet; the zip has the library and the sample host"
check_no_machine_paths "$root"

# The installer, silently, for the current user's PATH.
install_dir="$WINEPREFIX/drive_c/Program Files/Quorlink"
wine "$installer" /S /PATH=user </dev/null >/dev/null 2>&1 || fail "the silent install failed"
[ -f "$install_dir/bin/quorlink.dll" ] || fail "the installer put nothing into $install_dir"
check_no_machine_paths "$install_dir"
user_path=$(wine reg query 'HKCU\Environment' /v PATH 2>/dev/null | tr -d '\r' || true)
grep -qiF 'C:\Program Files\Quorlink\bin' <<<"$user_path" || fail "bin\\ is not on the user's PATH: $user_path"

if [ -f "$install_dir/bin/moravel-cli.exe" ]; then
  version=$(wine "$install_dir/bin/moravel-cli.exe" --version </dev/null 2>&1 | tr -d '\r')
  echo "-- installed moravel-cli.exe --version: $version"
  [ -n "$version" ] || fail "the installed moravel-cli.exe printed no version"
else
  out=$(tests/windows/with_sim.sh --ports COM3 -- "$install_dir/bin/read_position.exe" 2>&1 | tr -d '\r') ||
    fail "the installed read_position.exe failed: $out"
  echo "-- installed read_position.exe against the simulator: $(head -n 1 <<<"$out")"
fi

# The uninstaller copies itself away and runs on; the folder going is what ends it.
wine "$install_dir/Uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the silent uninstall failed"
for _ in $(seq 1 300); do
  [ -e "$install_dir" ] || break
  sleep 0.2
done
[ ! -e "$install_dir" ] || fail "the uninstall left $(find "$install_dir" | head -n 5)"
user_path=$(wine reg query 'HKCU\Environment' /v PATH 2>/dev/null | tr -d '\r' || true)
if grep -qiF 'Quorlink' <<<"$user_path"; then fail "the uninstall left bin\\ on the PATH: $user_path"; fi
if wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorlink $version" >/dev/null 2>&1; then
  fail "the uninstall left its entry in the registry"
fi
echo "-- installed, run and uninstalled cleanly under wine"
