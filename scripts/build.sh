#!/usr/bin/env bash
# Configures and builds one tree, optimised (Release: the build that sees the
# most warnings, all of them errors). Usage: scripts/build.sh DIR [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$root" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQ8_WERROR=ON "$@" >/dev/null
cmake --build "$root/$dir"
