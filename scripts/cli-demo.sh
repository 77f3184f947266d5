#!/usr/bin/env bash
# The command-line companion on the simulated device: starts q8sim with a
# small sample cartridge, lists it, sends a file to it, reads that file back
# and compares the two.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" build

work=$(mktemp -d)
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

# A few files, one with a Chinese name.
mkdir "$work/cartridge"
head -c 70000 /dev/urandom >"$work/cartridge/english1.bin"
head -c 1536 /dev/urandom >"$work/cartridge/中文课本.bin"
head -c 300000 /dev/urandom >"$work/cartridge/math-grade3.bin"

"$root/build/sim/q8sim" --folder "$work/cartridge" --total 4194304 --free 3670016 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
export Q8LOADER_COM1=$(head -n 1 "$work/sim.out")
echo "Simulated device on $Q8LOADER_COM1"

cli="$root/build/cli/q8loader-cli"
"$cli" list

echo; echo "Sending 课文-unit5.bin to the cartridge (about 3 s: the device erases first)..."
head -c 40000 /dev/urandom >"$work/课文-unit5.bin"
"$cli" download "$work/课文-unit5.bin"
"$cli" list

echo; echo "Reading it back (cartridge file 3)..."
"$cli" upload 3 "$work/back.bin"
cmp "$work/课文-unit5.bin" "$work/back.bin" && echo "The file came back byte for byte."
