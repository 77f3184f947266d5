#!/usr/bin/env bash
# Runs every test: the plain build and the AddressSanitizer/UBSan build, each
# with warnings as errors; the Win32 backends are compiled with mingw-w64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

"$root/scripts/build.sh" build
(cd "$root/build" && ctest --output-on-failure)

"$root/scripts/build.sh" build-asan -DQ8_SANITIZE=ON
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure)
