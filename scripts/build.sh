#!/usr/bin/env bash
# Configures and builds one tree, optimised (Release: the build that sees the
# most warnings, all of them errors). Usage: scripts/build.sh DIR [cmake options...]
# Q8_BUILD_TARGETS (space-separated) builds only those targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$root" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQ8_WERROR=ON "$@" >/dev/null
# shellcheck disable=SC2086 # the targets are meant to split
cmake --build "$root/$dir" ${Q8_BUILD_TARGETS:+--target $Q8_BUILD_TARGETS}
