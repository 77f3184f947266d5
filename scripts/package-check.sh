#!/usr/bin/env bash
# The Debian package end to end, from a tree that is already built: makes it
# with CPack, checks its control fields, runs lintian (no errors allowed),
# unpacks it into a throw-away root and runs the programs from there
# (--version, --help, a `list` of the installed simulator through the
# installed companion), validates the installed desktop entry, AppStream data
# and manual pages, and finds the entry's program and icons in that root.
# Usage: scripts/package-check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree="$root/${1:-build}"
work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "package check: $*" >&2; exit 1; }

# The hicolor sizes the package must hold.
icon_sizes=(16 32 48 64 128 256)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $tree"

echo "== package"
(cd "$tree" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(find "$work/out" -maxdepth 1 -name '*.deb')
[ -f "$deb" ] || fail "cpack made no package"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = q8loader ] || fail "package name $(field Package)"
[ "$(field Version)" = "$version" ] || fail "package version $(field Version), project $version"
[ "$(field Section)" = utils ] || fail "section $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
# dpkg-shlibdeps found the libraries, and the platform plugins came along.
for dep in libc6 libstdc++6 libqt6core6 libqt6widgets6 qt6-qpa-plugins; do
  field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qxF "$dep" ||
    fail "Depends lacks $dep: $(field Depends)"
done
# The changelog's and the AppStream data's newest entries name this version.
changelog_version=$(dpkg-parsechangelog -l "$root/packaging/changelog" -S Version)
[ "$changelog_version" = "$version" ] || fail "packaging/changelog is at $changelog_version, project at $version"
grep -q "<release version=\"$version\"" "$root/packaging/"*.metainfo.xml ||
  fail "the metainfo has no release $version"

echo "== lintian"
lintian --fail-on error "$deb" 2>"$work/lintian.err" || { cat "$work/lintian.err"; fail "lintian found errors"; }

echo "== installed programs"
inst="$work/root"
dpkg-deb -x "$deb" "$inst"
bin="$inst/usr/bin"
# The licence goes along, and the copyright file states it.
doc="$inst/usr/share/doc/q8loader"
cmp -s "$root/LICENSE" "$doc/LICENSE" || fail "LICENSE is not installed with the docs"
grep -qx 'License: MIT' "$doc/copyright" || fail "the copyright file states no MIT licence"
for program in q8loader q8loader-cli q8sim; do
  # No display: the window answers --version before Qt starts.
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/$program" --version)
  echo "$out"
  [[ "$out" == "$program $version"* ]] || fail "$program --version printed: $out"
done
"$bin/q8sim" --help | head -n 1 | grep -qx 'usage: q8sim \[options\]' || fail "q8sim --help"
env -u DISPLAY "$bin/q8loader" --help | grep -q '^usage: q8loader ' || fail "q8loader --help"

# A list of the installed simulator's cartridge through the installed
# companion: a Chinese name goes through GBK and back.
"$bin/q8sim" --file 课本一.bin=70000 --file english.bin=1536 --link "$work/com1" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -L "$work/com1" ] && [ -s "$work/sim.out" ] && break; sleep 0.1; done
Q8LOADER_COM1="$work/com1" Q8LOADER_COM2=/nonexistent "$bin/q8loader-cli" list >"$work/list.out" ||
  fail "q8loader-cli list failed"
printf '%s\n' $'课本一.bin\t68.36*8Kbits\t2020-1-2 3:4' $'english.bin\t1.50*8Kbits\t2020-1-2 3:4' \
  '空间共计:4.00*8Mbits' '空闲空间:3.91*8Mbits' >"$work/list.expected"
diff -u "$work/list.expected" "$work/list.out" || fail "list of the installed simulator differs"
cat "$work/list.out"

echo "== desktop entry, AppStream data, manual pages"
entry="$inst/usr/share/applications/q8loader.desktop"
desktop-file-validate "$entry" || fail "desktop entry"
appstreamcli validate --no-net "$inst/usr/share/metainfo/"*.metainfo.xml || fail "metainfo"
for page in "$inst"/usr/share/man/man1/{q8loader,q8loader-cli,q8sim}.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# What a menu reads from the entry: its program and its icon, in this root.
key() { sed -n "s/^$1=//p" "$entry"; }
grep -qx 'Categories=.*Utility;.*' "$entry" || fail "entry not under Utility"
[ -n "$(key 'Name\[zh_CN\]')" ] && [ -n "$(key 'Comment\[zh_CN\]')" ] || fail "no Chinese name or comment"
[ -x "$bin/$(key Exec | cut -d' ' -f1)" ] || fail "Exec=$(key Exec) is not installed"
icon=$(key Icon)
for size in "${icon_sizes[@]}"; do
  png="$inst/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  [ -f "$png" ] || fail "no $size px icon $icon"
  # Width and height: big-endian words at bytes 16 and 20 of a PNG.
  read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$png")
  [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$png is ${width}x$height"
done
echo "menu: $(key Name) / $(key 'Name\[zh_CN\]'), Exec=$(key Exec), Icon=$icon in ${#icon_sizes[@]} sizes, Categories=$(key Categories)"
echo "package check passed"
