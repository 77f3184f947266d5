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

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
