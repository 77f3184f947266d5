#!/usr/bin/env bash
# Builds the page: the core compiled to WebAssembly by emcc (Debian's
# emscripten) beside the page's own files, in a tree of its own. The folder
# to serve or upload is DIR/site. Usage: scripts/web-build.sh [DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build-web}
# emcc's JavaScript tools find their modules (acorn) only there with a Node
# other than Debian's own.
export NODE_PATH=/usr/share/nodejs
emcmake cmake -S "$root" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQ8_WERROR=ON >/dev/null
cmake --build "$root/$dir"
