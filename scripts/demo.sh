#!/usr/bin/env bash
# The demo: builds what is needed, starts the controller simulator on a pseudo-terminal (as
# COM3) and the program moravel against it, so that every menu item works with a controller.
# Without a display it says how to get one and shows the command-line side instead.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

ensure_packages "${MORAVEL_PACKAGES[@]}"

echo "== Building the program, the simulator and the tools (build/release)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORAVEL_BUILD_TESTS=OFF \
  -DMORAVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target quorlink quorlink-sim moravel moravel-cli read_position >/dev/null

sim=$PWD/build/release/sim/quorlink-sim
moravel=$PWD/build/release/app/shell/moravel
cli=$PWD/build/release/cli/moravel-cli

# moravel runs in a folder of its own that holds the template of "Parameter -> Neu", so that
# the files you save stay out of the source tree.
demo_dir=$PWD/build/demo
mkdir -p "$demo_dir"
cp app/resources/NC-Travo_USB_Param_NEW.ncp "$demo_dir/"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo
  echo "== Simulated controller \"NC-Travo USB    \" on COM3; COM1, COM2 and COM4..COM8 point nowhere."
  echo "== Starting moravel (in $demo_dir). It uses your own settings; with the default"
  echo "   (Autodetect) it finds the simulator. If you chose a fixed port or name before, pick"
  echo "   \"A&utodetect\" or COM3 in \"COM port -> COM port Eigenschaften ...\"."
  echo "   Try: Parameter -> Vom Controller Lesen, the >> and << buttons, Firmware -> Hochladen."
  echo
  cd "$demo_dir"
  exec "$sim" --ports COM3 -- "$moravel"
fi

echo
echo "== No display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open."
echo "   To see it:"
echo "     - from a desktop machine:   ssh -X $(id -un)@$(hostname)   and run scripts/demo.sh there;"
echo "     - or on a virtual display, with a screenshot of it:"
echo "         apt-get install -y xvfb xauth imagemagick"
echo "         cd $demo_dir && xvfb-run -a -s '-screen 0 1280x800x24' sh -c \\"
echo "           '$sim --ports COM3 -- $moravel & sleep 3; import -window root moravel.png; kill \$!'"
echo "         (then look at $demo_dir/moravel.png)"
echo
echo "== Meanwhile the same controller from the command line."
echo "== The example host program scans COM1..COM8, connects, reads the position and closes:"
echo
"$sim" --ports COM3 -- build/release/examples/read_position 2>&1
if "$cli" --help 2>/dev/null | grep -q '^ *read'; then
  echo
  echo "== moravel-cli reads the controller's parameter set (as \"Vom Controller Lesen\" does)"
  echo "   into $demo_dir/vom-controller.ncp; its first lines (the file is code page 1252):"
  echo
  (cd "$demo_dir" && "$sim" --ports COM3 -- "$cli" read -o vom-controller.ncp)
  iconv -f CP1252 -t UTF-8 "$demo_dir/vom-controller.ncp" | head -n 12
fi
