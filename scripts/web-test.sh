#!/usr/bin/env bash
# The page's tests: the WebAssembly core under Node on q8sim, then the page in
# headless Chromium with its serial port bridged to q8sim, which also takes
# the picture of the page after a download (DIR/web-page.png unless PNG is
# given). Needs the page built (scripts/web-build.sh DIR) and q8sim from the
# plain tree (build/, or Q8_SIM). Usage: scripts/web-test.sh [DIR [PNG]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build-web}
picture=$(realpath -m "${2:-$root/$dir/web-page.png}")
export NODE_PATH=/usr/share/nodejs  # Debian's ws
export Q8_WEB_SITE=$root/$dir/site
node "$root/web/test/core_tests.js"
node "$root/web/test/page_tests.js" --screenshot "$picture"
