#!/usr/bin/env bash
# Runs every test: the plain (Release) build and the AddressSanitizer/UBSan
# build, each with warnings as errors, and the threaded transfer tests under
# ThreadSanitizer; the Windows build (mingw-w64, with a static Windows Qt)
# runs its unit and window tests, a CLI session, its zip and installer and
# the window end to end under Wine; the Debian package is made from the plain
# build and checked; the fuzz targets run briefly; the web page runs in
# headless Chromium.
# The real-time tests wait on the (simulated) line, not the CPU, so they run
# in parallel.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
jobs=${Q8_TEST_JOBS:-6}
stage() { echo "== $* (${SECONDS} s into the run)"; }

stage "plain tree"
"$root/scripts/build.sh" build
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

# The Debian package made from that tree, unpacked into a throw-away root and
# run from there.
stage "package"
"$root/scripts/package-check.sh" build

# The Windows build: unit tests, the window tests and a CLI session under
# Wine (the CLI's compared with the Linux one's); the zip and the installer,
# installed and removed again; the window end to end on a virtual X server.
stage "Windows"
"$root/scripts/windows-test.sh"
stage "Windows packages"
"$root/scripts/windows-package-test.sh" build-win
stage "Windows window"
"$root/scripts/windows-window-test.sh" build build-win

stage "ASan/UBSan tree"
"$root/scripts/build.sh" build-asan -DQ8_SANITIZE=ON
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs")

# Only what the threaded tests need is built.
stage "TSan tree"
Q8_BUILD_TARGETS="transfer_tests session_tests pty_integration_tests cli_tests" \
  "$root/scripts/build.sh" build-tsan -DQ8_SANITIZE_THREAD=ON
(cd "$root/build-tsan" && TSAN_OPTIONS=halt_on_error=1 \
   ctest --output-on-failure -j "$jobs" -R 'Download|Upload|Session|cli_tests')

# Every operation under libFuzzer on the in-memory device, about 20 s a
# target, from the committed seeds.
stage "fuzz targets"
"$root/scripts/fuzz.sh" 20

# The page: the core compiled to WebAssembly, under Node on q8sim, and the
# page in headless Chromium with its serial port bridged to q8sim.
stage "web page"
"$root/scripts/web-build.sh" build-web
"$root/scripts/web-test.sh" build-web
stage "all passed"
