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
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/cartridge" "$work/pc"
head -c 70000 /dev/zero >"$work/cartridge/english1.bin"
head -c 1536 /dev/zero >"$work/cartridge/中文课本.bin"
head -c 300000 /dev/zero >"$work/cartridge/math-grade3.bin"
head -c 40000 /dev/zero >"$work/pc/课文-unit5.bin"
head -c 16385 /dev/zero >"$work/pc/words-a.bin"
"$root/build/sim/q8sim" --folder "$work/cartridge" --total 4194304 --free 3670016 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
export Q8LOADER_COM1=$(head -n 1 "$work/sim.out")

mkdir -p "$root/docs"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$root/build/tools/window-screenshot" "$root/docs/window.png" \
  "$work/pc/课文-unit5.bin" "$work/pc/words-a.bin"
echo "wrote docs/window.png"
