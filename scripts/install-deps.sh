#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build and the tests need, and only
# those that are missing. Uses sudo when not run as root.
set -euo pipefail

# qt6-translations-l10n: Qt's own dialogs in Chinese; openbox frames the
# window for the README's pictures.
packages=(g++ cmake ninja-build pkg-config libgtest-dev googletest g++-mingw-w64-x86-64-posix
          wine64 qt6-base-dev qt6-qpa-plugins fonts-wqy-zenhei qt6-translations-l10n openbox)
# The package check (scripts/package-check.sh): dpkg-shlibdeps, the desktop
# entry and AppStream validators, lintian, and man for the manual pages.
packages+=(dpkg-dev desktop-file-utils appstream lintian man-db)
# The Windows installer (makensis) and the Windows package check, which reads
# the programs' resources with Python.
packages+=(nsis python3)
# The window for Windows under Wine on a virtual X server
# (scripts/windows-window-test.sh): the server, the keys and the pictures,
# and a Ming face for Wine to stand in for SimSun.
packages+=(xvfb xauth x11-utils x11-apps xdotool imagemagick fonts-arphic-uming)

# The page (scripts/web-build.sh, web-test.sh): emcc, headless Chromium, and
# Node with Debian's WebSocket module for the tests' serial bridge.
packages+=(emscripten chromium nodejs node-ws)

# The fuzz targets: clang, and its fuzzer runtime, which Debian ships apart
# from the compiler (libclang-rt-N-dev, N = the installed clang's version; see
# the end).
packages+=(clang)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
updated=
install_missing() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ -z "$updated" ]; then
    "${sudo_cmd[@]}" apt-get update -qq
    updated=1
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

install_missing "${packages[@]}"
clang_major=$(clang -dumpversion | cut -d. -f1)
if apt-cache show "libclang-rt-$clang_major-dev" >/dev/null 2>&1; then
  install_missing "libclang-rt-$clang_major-dev"
fi
