#!/usr/bin/env bash
# The window for Windows end to end, under Wine on a virtual X server with
# openbox, on Qt's own `windows` platform plugin: it opens on q8sim behind
# COM1 and lists the cartridge (a picture is taken of it: PICTURE, by default
# WINDOWS_TREE/windows-window.png; the README's is docs/windows-window.png);
# Alt+Space opens its system menu, whose port-settings and About items each
# open their dialog; a file named in the open dialog by its Windows path
# (backslashes, a Chinese name) is downloaded, and the simulated cartridge
# then gives back the same bytes; at 100 % scaling the window fits a 1366x768
# screen (the size at 150 % is printed).
# Usage: scripts/windows-window-test.sh [LINUX_TREE [WINDOWS_TREE [PICTURE]]]
#        (default: build build-win, both built)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
SCREEN_W=1366
SCREEN_H=768

if [ "${1:-}" != --in-x-server ]; then
  for tool in xvfb-run xdotool xwd xprop xwininfo; do
    command -v "$tool" >/dev/null || { echo "windows-window-test: needs $tool" >&2; exit 1; }
  done
  xvfb-run -a -s "-screen 0 ${SCREEN_W}x${SCREEN_H}x24 -dpi 96" \
    "$0" --in-x-server "$root/${1:-build}" "$root/${2:-build-win}" \
    "$(realpath -m "${3:-$root/${2:-build-win}/windows-window.png}")"
  exit
fi

linux=$2 win=$3 picture=$4
source "$root/scripts/wine-prefix.sh"
export WINEPREFIX="$win/wine-window"
work=$(mktemp -d)
ports="$work/ports"
mkdir -p "$ports" "$work/cartridge" "$work/pc"
sim_pid= app_pid= wm_pid=
cleanup() {
  [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
  [ -z "$wm_pid" ] || kill "$wm_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# Leaves a picture of the screen beside the tree's one, to see what went wrong.
fail() {
  echo "FAILED: $* (the screen: $win/windows-window-failed.png)" >&2
  xwd -root -silent | convert xwd:- "$win/windows-window-failed.png" || true
  exit 1
}
# Waits up to 10 s for no window named $1 to be left.
wait_for_no_window() {
  for _ in $(seq 100); do
    xdotool search --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
# Waits up to 10 s for a window whose name matches $1; its id in $found.
wait_for_window() {
  for _ in $(seq 100); do
    found=$(xdotool search --name "$1" 2>/dev/null | head -n 1) && [ -n "$found" ] && return 0
    sleep 0.1
  done
  return 1
}

# No key bindings of its own, so that Alt+Space reaches the program.
cat >"$work/openbox.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><keyboard/><mouse/></openbox_config>
EOF
openbox --config-file "$work/openbox.xml" >/dev/null 2>&1 &
wm_pid=$!

map_com_ports "$ports" 2
# Wine has no Chinese font of its own: a Ming face like the one the window is
# drawn for stands in for SimSun (宋体), the font a Chinese Windows has.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/fonts/truetype/arphic/uming.ttc "$WINEPREFIX/drive_c/windows/Fonts/"
for name in SimSun 宋体; do
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$name" /t REG_SZ /d 'AR PL UMing CN' /f >/dev/null
done
restart_wineserver

head -c 70000 /dev/urandom >"$work/cartridge/english1.bin"
head -c 1536 /dev/urandom >"$work/cartridge/中文课本.bin"
head -c 40000 /dev/urandom >"$work/pc/课文-unit5.bin"
"$linux/sim/q8sim" --folder "$work/cartridge" --total 4194304 --free 3670016 --line-rate \
  --link "$ports/com1" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -L "$ports/com1" ] && break; sleep 0.1; done

# Wine hands a program the Unix environment's QT_* variables only under a
# WINE prefix.
start_window() {
  WINEQT_SCALE_FACTOR=$1 "$wine" "$win/src/ui/q8loader.exe" >"$work/app.out" 2>&1 &
  app_pid=$!
  wait_for_window '下载工具--' || fail "the window did not open at scale $1"
  window=$found
  sleep 3  # the start-up refresh
}
stop_window() {
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=
  sleep 1
}

start_window 1.5
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "at 150 %: ${WIDTH}x${HEIGHT} (the screen: ${SCREEN_W}x${SCREEN_H})"
stop_window

start_window 1
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "at 100 %: ${WIDTH}x${HEIGHT}"
[ "$WIDTH" -le "$SCREEN_W" ] && [ "$HEIGHT" -le "$SCREEN_H" ] || fail "larger than the screen"
# With openbox's frame around it, so that the caption and the icon show.
read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | tr -dc '0-9 ' | xargs)
eval "$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print "ax=" $NF} /Absolute upper-left Y/ {print "ay=" $NF}')"
xwd -root -silent | convert xwd:- -crop "$((WIDTH + left + right))x$((HEIGHT + top + bottom))+$((ax - left))+$((ay - top))" \
  +repage "$picture"

# The system menu: its last item is the port settings, the one before it
# the About box.
for item in '端口设置:Up' '关于 Linkwise:Up Up'; do
  title=${item%%:*}
  xdotool windowactivate --sync "$window"
  xdotool key alt+space
  sleep 1
  # shellcheck disable=SC2086 # the keys are meant to split
  xdotool key ${item#*:} Return
  wait_for_window "$title" || fail "the system menu did not open $title"
  echo "system menu: $title opened"
  xdotool key Escape
  sleep 1
done

# "打开" has the focus; the file is named by its Windows path. Now and then
# the typed path does not arrive whole (xdotool maps each Chinese character
# to a spare key as it goes, and Wine's dialog may still be filling its
# folder view): whatever is left open is then closed with Escape and the
# path typed again into a new dialog, up to three times.
winpath="Z:${work//\//\\}\\pc\\课文-unit5.bin"
for attempt in 1 2 3; do
  xdotool windowactivate --sync "$window"
  xdotool key space
  wait_for_window '打开下载文件' || fail "no open dialog"
  # Wine's file dialog takes its keys only once it has filled its folder view.
  sleep 4
  xdotool type --delay 30 "$winpath"
  xdotool key Return
  wait_for_no_window '打开下载文件' && break
  [ "$attempt" -lt 3 ] || fail "the open dialog took no $winpath"
  echo "the open dialog took no $winpath (attempt $attempt); again"
  for _ in 1 2 3 4; do
    xdotool search --name '打开下载文件' >/dev/null 2>&1 || break
    xdotool key Escape
    sleep 1
  done
done
sleep 1
# From "打开" to "下载": 删除, 上移, 下移, 上传, 删除, 下载. At the line's
# rate the progress window stays long enough to be seen.
xdotool windowactivate --sync "$window"
xdotool key Tab Tab Tab Tab Tab Tab space
wait_for_window '^(擦除剩余空间|下载文件)' || fail "no progress window after 下载"
while xdotool search --name '^(擦除剩余空间|下载文件)' >/dev/null 2>&1; do sleep 0.2; done
sleep 4  # the refresh after the file and the batch end
stop_window

# What the cartridge now holds, read back through the Linux CLI.
list=$(Q8LOADER_COM1="$ports/com1" "$linux/cli/q8loader-cli" list)
echo "$list" | grep -q '^课文-unit5.bin' || fail "the cartridge does not list the file: $list"
index=$(($(echo "$list" | grep -c $'\t') - 1))
Q8LOADER_COM1="$ports/com1" "$linux/cli/q8loader-cli" upload "$index" "$work/back.bin" >/dev/null
cmp "$work/pc/课文-unit5.bin" "$work/back.bin" || fail "the cartridge holds other bytes"
echo "download through the open dialog ($winpath): the cartridge holds the same bytes"
