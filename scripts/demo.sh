#!/usr/bin/env bash
# The main job: builds the tool and opens its window on a simulated device
# (q8sim) with a small sample cartridge, which the window finds as COM1.
# Closing the window stops the simulator.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" build

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open the window on (DISPLAY is not set)." >&2
  echo "On a machine without a desktop try: xvfb-run -a $0, or scripts/cli-demo.sh." >&2
  exit 1
fi

work=$(mktemp -d)
source "$root/scripts/sample-device.sh"
trap 'stop_sample_device; rm -rf "$work"' EXIT
make_sample_cartridge
make_sample_pc_files
# The demo keeps its own settings, so nothing it remembers reaches the
# user's real ones; its open and save dialogs start in the sample files.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/q8loader"
printf '[folders]\nopen=%s\nsave=%s\n' "$work/pc" "$work/pc" \
  >"$XDG_CONFIG_HOME/q8loader/q8loader.conf"
# --line-rate: transfers take as long as on the real 115200 bit/s line, so
# the progress window has something to show.
start_sample_device --line-rate
echo "Simulated device on $Q8LOADER_COM1; files to send are in $work/pc"

cd "$work/pc"
"$root/build/src/ui/q8loader"
