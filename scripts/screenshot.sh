#!/usr/bin/env bash
# Renews docs/window.png (the window on q8sim with the demo's sample
# cartridge) and docs/progress.png (its progress window during a download),
# under a virtual X server with a small window manager, so that the caption
# bar and the icon show.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The second half runs inside the virtual X server: openbox first, then the
# pictures of the sample device $work/pc and $Q8LOADER_COM1 stand for.
if [ "${1:-}" = --in-x-server ]; then
  openbox >/dev/null 2>&1 &
  wm=$!
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  status=0
  "$root/build/tools/window-screenshot" "$root/docs/window.png" --framed \
    --progress "$root/docs/progress.png" \
    "$work/pc/课文-unit5.bin" "$work/pc/words-a.bin" || status=$?
  kill "$wm" 2>/dev/null || true
  wait "$wm" 2>/dev/null || true
  exit "$status"
fi

"$root/scripts/install-deps.sh"
if ! command -v xvfb-run >/dev/null || ! command -v xprop >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends xvfb xauth x11-utils
fi
"$root/scripts/build.sh" build

work=$(mktemp -d)
export work
source "$root/scripts/sample-device.sh"
trap 'stop_sample_device; rm -rf "$work"' EXIT
make_sample_cartridge
make_sample_pc_files
# At the line's own rate, so that the download takes long enough to be seen.
start_sample_device --line-rate

mkdir -p "$root/docs"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" --in-x-server
echo "wrote docs/window.png and docs/progress.png"
