#!/usr/bin/env bash
# The command-line companion on the simulated device: starts q8sim with a
# small sample cartridge, lists it, sends a file to it, reads that file back
# and compares the two.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" build

work=$(mktemp -d)
source "$root/scripts/sample-device.sh"
trap 'stop_sample_device; rm -rf "$work"' EXIT
make_sample_cartridge
start_sample_device
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
