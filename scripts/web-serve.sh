#!/usr/bin/env bash
# Builds the page and serves it on this machine only: open
# http://localhost:8000/ in Chrome or Edge (a page may use the serial port
# only from https:// or localhost). Usage: scripts/web-serve.sh [PORT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/web-build.sh" build-web
echo "http://localhost:${1:-8000}/"
exec python3 -m http.server --bind 127.0.0.1 --directory "$root/build-web/site" "${1:-8000}"
