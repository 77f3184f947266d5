#!/usr/bin/env bash
# Renews docs/window.png: the window on q8sim with the demo's sample
# cartridge, under a virtual X server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
command -v xvfb-run >/dev/null || { sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo);
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends xvfb xauth; }
"$root/scripts/build.sh" build

work=$(mktemp -d)
source "$root/scripts/sample-device.sh"
trap 'stop_sample_device; rm -rf "$work"' EXIT
make_sample_cartridge
make_sample_pc_files
start_sample_device

mkdir -p "$root/docs"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$root/build/tools/window-screenshot" "$root/docs/window.png" \
  "$work/pc/课文-unit5.bin" "$work/pc/words-a.bin"
echo "wrote docs/window.png"
