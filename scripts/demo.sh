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
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

# A few files on the cartridge, one with a Chinese name, and a few on the PC
# to send (in the folder the open dialog starts in).
mkdir "$work/cartridge" "$work/pc"
head -c 70000 /dev/urandom >"$work/cartridge/english1.bin"
head -c 1536 /dev/urandom >"$work/cartridge/中文课本.bin"
head -c 300000 /dev/urandom >"$work/cartridge/math-grade3.bin"
head -c 40000 /dev/urandom >"$work/pc/课文-unit5.bin"
head -c 16385 /dev/urandom >"$work/pc/words-a.bin"

# --line-rate: transfers take as long as on the real 115200 bit/s line, so
# the progress window has something to show.
"$root/build/sim/q8sim" --folder "$work/cartridge" --total 4194304 --free 3670016 --line-rate \
  >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
export Q8LOADER_COM1=$(head -n 1 "$work/sim.out")
echo "Simulated device on $Q8LOADER_COM1; files to send are in $work/pc"

cd "$work/pc"
"$root/build/src/ui/q8loader"
