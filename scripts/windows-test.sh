#!/usr/bin/env bash
# The Windows build for real: cross-builds the link, the core, the CLI, the
# window (with the static Windows Qt of scripts/windows-qt.sh) and the tests
# with mingw-w64, runs them under Wine, then runs
# the same CLI session with the Linux and the Windows build against q8sim and
# compares what they print (after CRLF is made LF) and their exit codes.
# Needs a built Linux tree (for q8sim and the reference CLI).
# Usage: scripts/windows-test.sh [LINUX_TREE [WINDOWS_TREE]]   (default: build build-win)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux="$root/${1:-build}"
win="$root/${2:-build-win}"
qt=$("$root/scripts/windows-qt.sh" | tail -n 1)
cmake -S "$root" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$win"

source "$root/scripts/wine-prefix.sh"
export WINEPREFIX="$win/wine"
# COM3 is for the window tests.
ports="$win/ports"
map_com_ports "$ports" 3
restart_wineserver

echo "== unit tests under Wine"
"$wine" "$win/tests/win_unit_tests.exe" --gtest_brief=1

work=$(mktemp -d)
sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  sim_pid=
  rm -f "$ports/com1" "$ports/com2" "$ports/com3"
}
trap 'stop_sim; "$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT

# The window tests on Qt's minimal platform (the static Qt has no offscreen
# one); Wine hands a Windows program QT_* variables only under a WINE prefix.
# Their link opens COM3, a pseudo-terminal q8sim holds; the window's
# exchanges go to the device in memory, so nothing is sent there.
echo "== window tests under Wine"
"$linux/sim/q8sim" --link "$ports/com3" >"$work/line.out" &
sim_pid=$!
for _ in $(seq 50); do [ -L "$ports/com3" ] && [ -s "$work/line.out" ] && break; sleep 0.1; done
WINEQT_QPA_PLATFORM=minimal "$wine" "$win/tests/win_window_tests.exe" --gtest_brief=1
stop_sim

start_sim() {
  "$linux/sim/q8sim" --file english1.bin=70000 --file 中文课本.bin=1536 \
    --link "$ports/com1" "$@" >"$work/sim.out" &
  sim_pid=$!
  for _ in $(seq 50); do [ -L "$ports/com1" ] && [ -s "$work/sim.out" ] && break; sleep 0.1; done
}

# One session: every command once, in the order a user would; each step's
# stdout, stderr and exit code go to $out/<step>.
session() {
  local out=$1; shift
  mkdir -p "$out/pc"
  head -c 40000 /dev/zero | tr '\0' 'k' >"$out/pc/数学课本.bin"
  touch -d '2024-05-06 07:08:09' "$out/pc/数学课本.bin"  # the same entry from both
  start_sim
  (
    cd "$out/pc"
    step() { local name=$1; shift; set +e; "$@" >"$out/$name.out" 2>"$out/$name.err"; echo $? >"$out/$name.rc"; set -e; }
    step list "$@" list
    step download "$@" download 数学课本.bin
    step list2 "$@" list
    step upload "$@" upload 2 上传.bin
    cmp -s 数学课本.bin 上传.bin && echo same >"$out/upload.cmp" || echo differ >"$out/upload.cmp"
    step delete "$@" delete
    step erase "$@" erase-voice
    step format "$@" format
    step list3 "$@" list
    # Both ports at once, a device behind each: the listings and the summary,
    # its times aside, sorted, as the devices end in either order. The events
    # on stderr are left out for the same reason.
    "$linux/sim/q8sim" --link "$ports/com2" >"$out/sim2.out" &
    local sim2=$!
    for _ in $(seq 50); do [ -L "$ports/com2" ] && [ -s "$out/sim2.out" ] && break; sleep 0.1; done
    step many "$@" --port COM1 --port COM2 list
    kill "$sim2"; wait "$sim2" 2>/dev/null || true
    sed -i 's/\r$//; s/[0-9.]* 秒$/- 秒/' "$out/many.out"
    sort -o "$out/many.out" "$out/many.out"
    rm -f "$out/many.err" "$out/sim2.out"
    # Traces under Chinese names, from the option and from the variable, and
    # one in a folder that is not there.
    mkdir 跟踪
    step trace "$@" --trace 跟踪/跟踪.txt list
    step traceenv env Q8LOADER_TRACE=跟踪/环境.txt "$@" list
    step tracemissing "$@" --trace 没有/跟踪.txt list
    find 跟踪 -type f -size +0 | sort >"$out/trace.files"
    # Output that cannot be written, with the system's reason.
    set +e; "$@" list >/dev/full 2>"$out/full.err"; echo $? >"$out/full.rc"; set -e
  )
  stop_sim
  # Card-info data 600 ms late: past the 400 ms deadline and the wait that
  # began with it, so both builds must refuse them.
  start_sim --fault card-info:1:late-data:600
  ( cd "$out/pc"; set +e; "$@" list >"$out/late.out" 2>"$out/late.err"; echo $? >"$out/late.rc" )
  stop_sim
  # A port that is not there. (Wine opens a mapped COM port whose device is
  # missing and fails only at the line settings, so the missing port is one
  # that is not mapped at all.)
  # Only the fixed text is compared: the explanation under it lists each
  # system's own ports.
  ( cd "$out/pc"; set +e; "$@" --port COM9 list >"$out/nodevice.out" 2>"$out/nodevice.all"
    echo $? >"$out/nodevice.rc"; head -n 1 "$out/nodevice.all" >"$out/nodevice.err"
    rm -f "$out/nodevice.all" )
  rm -rf "$out/pc"
  for f in "$out"/*; do sed -i 's/\r$//' "$f"; done
}

echo "== CLI session: Linux build, then Windows build under Wine"
Q8LOADER_COM1="$ports/com1" Q8LOADER_COM2="$ports/com2" session "$work/linux" "$linux/cli/q8loader-cli"
session "$work/windows" "$wine" "$win/cli/q8loader-cli.exe"

failed=0
# The ports Wine maps are the ones the Windows build lists.
"$wine" "$win/cli/q8loader-cli.exe" ports | tr -d '\r' >"$work/ports.txt"
if grep -q '^COM1	' "$work/ports.txt" && grep -q '^COM2	' "$work/ports.txt"; then
  echo "ports: $(cut -f1 "$work/ports.txt" | tr '\n' ' ')"
else
  echo "ports does not list Wine's COM1 and COM2:"; cat "$work/ports.txt"; failed=1
fi
for f in "$work/linux"/*; do
  name=$(basename "$f")
  if cmp -s "$f" "$work/windows/$name"; then
    echo "same      $name"
  else
    echo "DIFFERENT $name"; diff "$f" "$work/windows/$name" || true; failed=1
  fi
done
[ "$(cat "$work/linux/upload.cmp")" = same ] || { echo "upload did not come back byte for byte"; failed=1; }
[ "$(cat "$work/linux/trace.files")" = "$(printf '%s\n' 跟踪/环境.txt 跟踪/跟踪.txt)" ] ||
  { echo "the traces under Chinese names were not written"; failed=1; }
[ "$failed" -eq 0 ] && echo "Windows CLI: every step as on Linux"
exit "$failed"
