#!/usr/bin/env bash
# Gives the Windows tree a Qt: a static Qt 6.4.2 base (Core, Gui, Widgets, the
# windows platform plugin) for mingw-w64, and prints its folder on the last
# line of stdout. In this order:
#   1. Q8_WINDOWS_QT names an installed Windows Qt: that one;
#   2. the cache folder already holds one: that one, nothing else is done;
#   3. Q8_WINDOWS_QT_ARCHIVE names a prebuilt archive: its sha256 is checked
#      and it is unpacked into the cache;
#   4. else Debian's own qt6-base source is cross-built into the cache (about
#      an hour on two cores), with the recipe below.
# The cache: ${XDG_CACHE_HOME:-~/.cache}/q8loader/qt-6.4.2-mingw-w64-static.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

QT_VERSION=6.4.2
# The source of the installed host tools: the two must be the same Qt.
SOURCE_VERSION=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || echo 6.4.2+dfsg-10)
# The archive made with this very recipe; Q8_WINDOWS_QT_SHA256 names another.
ARCHIVE_SHA256=${Q8_WINDOWS_QT_SHA256:-6ca4ad8a6ac5de3bc29cf6b5f98b25b5203e1eb4d7aebcd5050e536ecc4234c5}
cache="${XDG_CACHE_HOME:-$HOME/.cache}/q8loader"
qt="$cache/qt-$QT_VERSION-mingw-w64-static"
# Written last, so that a run cut short is never taken for a Qt.
done_mark="$qt/.q8-complete"
say() { echo "windows-qt: $*" >&2; }

usable() { [ -f "$1/lib/cmake/Qt6/qt.toolchain.cmake" ]; }
# The copyright and licence notices of everything in Qt's libraries (zlib,
# libpng, HarfBuzz, PCRE2 and more), which travel with the window: Debian's
# file for the very source the archive and the recipe build.
NOTICES=LICENSES/THIRD-PARTY-NOTICES.txt
DEBIAN_NOTICES=/usr/share/doc/qt6-base-dev/copyright
add_notices() {
  if [ ! -f "$1/$NOTICES" ] && [ -f "$DEBIAN_NOTICES" ]; then
    mkdir -p "$1/LICENSES"
    cp "$DEBIAN_NOTICES" "$1/$NOTICES"
  fi
}

if [ -n "${Q8_WINDOWS_QT:-}" ]; then
  usable "$Q8_WINDOWS_QT" || { say "no Qt in Q8_WINDOWS_QT=$Q8_WINDOWS_QT"; exit 1; }
  echo "$Q8_WINDOWS_QT"
  exit 0
fi
if [ -f "$done_mark" ] && usable "$qt"; then
  add_notices "$qt"
  echo "$qt"
  exit 0
fi
mkdir -p "$cache"
staging=$(mktemp -d "$cache/.staging.XXXXXX")
trap 'rm -rf "$staging"' EXIT

# Moves the finished Qt in `$1` to its place in the cache.
settle() {
  touch "$1/.q8-complete"
  rm -rf "$qt"
  mv "$1" "$qt"
  echo "$qt"
}

if [ -n "${Q8_WINDOWS_QT_ARCHIVE:-}" ]; then
  say "unpacking $Q8_WINDOWS_QT_ARCHIVE"
  sum=$(sha256sum "$Q8_WINDOWS_QT_ARCHIVE" | cut -d' ' -f1)
  if [ "$sum" != "$ARCHIVE_SHA256" ]; then
    say "checksum mismatch: $sum, expected $ARCHIVE_SHA256"
    exit 1
  fi
  tar -xzf "$Q8_WINDOWS_QT_ARCHIVE" -C "$staging"
  unpacked="$staging/$(basename "$qt")"
  usable "$unpacked" || { say "the archive holds no Qt folder $(basename "$qt")"; exit 1; }
  add_notices "$unpacked"
  settle "$unpacked"
  exit 0
fi

# From source. The host tools (moc, rcc, uic) are Debian's, of the same version.
say "building Qt $QT_VERSION for Windows from Debian's source: about an hour on two cores"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  dpkg-dev g++-mingw-w64-x86-64-posix qt6-base-dev cmake ninja-build >&2
# apt-get source needs deb-src entries: the system's own deb entries again,
# as deb-src, in files of their own.
if ! apt-get source --print-uris "qt6-base=$SOURCE_VERSION" >/dev/null 2>&1; then
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/q8loader-deb-src.list >/dev/null
  fi
  for list in /etc/apt/sources.list.d/*.sources; do
    case $list in *q8loader-deb-src*) continue ;; esac
    [ -f "$list" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$list" |
      "${sudo_cmd[@]}" tee "/etc/apt/sources.list.d/q8loader-deb-src-$(basename "$list")" >/dev/null
  done
  "${sudo_cmd[@]}" apt-get update -qq >&2
fi
(cd "$staging" && apt-get source -qq "qt6-base=$SOURCE_VERSION" >&2)
source_dir=$(find "$staging" -maxdepth 1 -type d -name "qt6-base-*" | head -n 1)
# Without direct2d, 6.4.2 would still reach for the DirectWrite font database
# and fail to link every Widgets program.
sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
  "$source_dir/src/plugins/platforms/windows/qwindowsintegration.cpp"
prefix="$staging/$(basename "$qt")"
options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DQT_QMAKE_TARGET_MKSPEC=win32-g++
  -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_testlib=OFF -DFEATURE_xml=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_dbus=OFF -DINPUT_opengl=no
  -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_glib=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_jpeg=OFF
  # Debian's repack has no wintab sources; direct2d off is what the patch above is for.
  -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF -DFEATURE_jpeg=OFF -DFEATURE_freetype=OFF
  -DFEATURE_pkg_config=OFF)
cmake -S "$source_dir" -B "$staging/build" -G Ninja "${options[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" >&2
cmake --build "$staging/build" >&2
cmake --install "$staging/build" >&2
cp -r "$source_dir/LICENSES" "$prefix/"
cp "$source_dir/debian/copyright" "$prefix/$NOTICES"
{
  echo "source: Debian qt6-base $SOURCE_VERSION (apt-get source qt6-base), with its Debian patches"
  echo "host tools: Debian qt6-base-dev $QT_VERSION (QT_HOST_PATH=/usr)"
  echo "compiler: $(x86_64-w64-mingw32-g++-posix --version | head -n 1)"
  echo "extra patch: qwindowsintegration.cpp: DirectWrite font database only with direct2d"
  echo "cmake options: ${options[*]}"
} >"$prefix/BUILD-STAMP"
settle "$prefix"
