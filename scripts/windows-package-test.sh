#!/usr/bin/env bash
# The Windows packages for real: makes the portable zip and the installer in a
# built Windows tree with the window (cpack -G ZIP, cpack -G NSIS); checks
# that both programs carry the icon and the version information and that the
# zip holds what it should; then, in a fresh Wine prefix, installs silently
# for the current user and again for all users (/ALLUSERS), checks the
# Start-menu shortcut, the uninstall entry and the installed programs,
# uninstalls silently and checks that nothing is left behind.
# The tree must be configured with a Windows Qt (README, "Windows").
# Usage: scripts/windows-package-test.sh [WINDOWS_TREE]   (default: build-win)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case "${1:-build-win}" in
  /*) win=$1 ;;
  *) win="$root/${1:-build-win}" ;;
esac
started=$SECONDS
[ -f "$win/CPackConfig.cmake" ] && grep -q NSIS "$win/CPackConfig.cmake" || {
  echo "$win has no Windows packages: configure it with a static Windows Qt"; exit 1; }
cmake --build "$win"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")
package="q8loader-$version-win64"
menu_name=$(sed -n 's/^Name\[zh_CN\]=//p' "$root/packaging/q8loader.desktop")
ico="$root/packaging/windows/q8loader.ico"
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\q8loader'
rm -f "$win/$package.zip" "$win/$package.exe"
echo "== cpack"
# Stripping stamps the time into each program's header unless
# SOURCE_DATE_EPOCH fixes it: with it, both packages hold the same bytes.
# The C locale: the installer's Chinese names must not depend on the
# builder's.
epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)
(cd "$win" && export LC_ALL=C SOURCE_DATE_EPOCH="$epoch" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null)

work=$(mktemp -d)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
# Wine names Unix files in the locale's character set: Chinese names need
# UTF-8.
export WINEPREFIX="$win/wine-package" WINEDEBUG=-all LC_ALL=C.UTF-8
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
failed=0
fail() { echo "FAILED: $*"; failed=1; }

echo "== the zip"
python3 -m zipfile -e "$win/$package.zip" "$work"
expected="LICENSE QT-GPL-3.0.txt QT-LGPL-3.0.txt QT-LICENSE.txt QT-THIRD-PARTY.txt README.md q8loader-cli.exe q8loader.exe"
held=$(cd "$work/$package" && find . -type f -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ')
[ "$held" = "$expected " ] || fail "the zip holds: $held"
grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' "$work/$package/QT-LGPL-3.0.txt" || fail "QT-LGPL-3.0.txt is not the LGPL"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$work/$package/QT-GPL-3.0.txt" || fail "QT-GPL-3.0.txt is not the GPL"
grep -q 'pcre2' "$work/$package/QT-THIRD-PARTY.txt" || fail "QT-THIRD-PARTY.txt lacks the notices of Qt's bundled libraries"

# The icon group under the name Qt loads, each image of the committed .ico
# in it, and the version block's numbers and strings.
echo "== resources"
for exe in q8loader.exe q8loader-cli.exe; do
  path="$work/$package/$exe"
  x86_64-w64-mingw32-objdump -p "$path" | grep -A2 'Entry: ID: 0x00000e' | grep -q 'IDI_ICON1' ||
    fail "$exe has no IDI_ICON1 icon group"
  x86_64-w64-mingw32-objcopy -O binary --only-section=.rsrc "$path" "$work/rsrc.bin"
  python3 - "$work/rsrc.bin" "$ico" "$version" "${exe%.exe}" <<'EOF' || fail "$exe resources"
import re, struct, sys
rsrc, ico, version, name = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read(), sys.argv[3], sys.argv[4]
ok = True
count = struct.unpack_from('<H', ico, 4)[0]
for i in range(count):
    size, at = struct.unpack_from('<II', ico, 6 + 16 * i + 8)
    if ico[at:at + size] not in rsrc:
        print(f'{name}: icon image {i} missing'); ok = False
# VS_FIXEDFILEINFO: signature, struct version, file version MS/LS, product version MS/LS.
numbers = [int(n) for n in version.split('.')] + [0, 0, 0]
ms, ls = numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]
fixed = rsrc.find(struct.pack('<I', 0xFEEF04BD))
if fixed < 0 or struct.unpack_from('<4I', rsrc, fixed + 8) != (ms, ls, ms, ls):
    print(f'{name}: binary version is not {version}'); ok = False
def utf16(text): return text.encode('utf-16-le')
for key, value in [('ProductName', 'q8loader'), ('ProductVersion', version), ('FileVersion', version),
                   ('OriginalFilename', name + '.exe'), ('CompanyName', 'q8loader developers')]:
    # Key, its NUL, padding to 32 bits, then the value and its NUL.
    if not re.search(re.escape(utf16(key)) + b'\0\0(\0\0)?' + re.escape(utf16(value)) + b'\0\0', rsrc):
        print(f'{name}: {key} is not "{value}"'); ok = False
sys.exit(0 if ok else 1)
EOF
done

# Windows paths of the prefix as Unix paths.
windows_var() { "$wine" cmd /c echo "%$1%" | tr -d '\r'; }
unix_path() { "$wine" winepath -u "$1" | tr -d '\r'; }
# The uninstall entry's values, or nothing when there is none.
uninstall_entry() {
  rm -f "$work/entry.reg"
  "$wine" reg export "$1\\$uninstall_key" "$work/entry.reg" /y >/dev/null 2>&1 || true
  [ -f "$work/entry.reg" ] && iconv -f UTF-16 -t UTF-8 "$work/entry.reg" | tr -d '\r'
  return 0
}

# One install and uninstall: the registry root of its uninstall entry, the
# Windows folders it must install into and put its shortcut in, then the
# installer's extra arguments.
install_cycle() {
  local hive=$1 folder_win=$2 menu_win=$3; shift 3
  local folder menu shortcut
  folder=$(unix_path "$folder_win")
  menu=$(unix_path "$menu_win")
  shortcut="$menu/$menu_name.lnk"
  "$wine" "$win/$package.exe" /S "$@" || fail "the installer $* exited $?"
  "$wineserver" -w
  for f in q8loader.exe q8loader-cli.exe Uninstall.exe QT-LICENSE.txt; do
    [ -f "$folder/$f" ] || fail "$f is not in $folder_win"
  done
  for exe in q8loader.exe q8loader-cli.exe; do
    cmp -s "$folder/$exe" "$work/$package/$exe" || fail "the installed $exe is not the zip's"
  done
  [ -f "$shortcut" ] || fail "no shortcut $menu_win\\$menu_name.lnk"
  [ -f "$shortcut" ] && { strings -a -el "$shortcut" | grep -qF "$folder_win\\q8loader.exe" ||
    fail "the shortcut does not start $folder_win\\q8loader.exe"; }
  uninstall_entry "$hive" >"$work/entry.txt"
  grep -qxF "\"DisplayName\"=\"$menu_name\"" "$work/entry.txt" || fail "no $hive uninstall entry named $menu_name"
  grep -qxF "\"InstallLocation\"=\"${folder_win//\\/\\\\}\"" "$work/entry.txt" ||
    fail "the $hive entry does not name $folder_win"
  for exe in q8loader-cli q8loader; do
    line=$("$wine" "$folder/$exe.exe" --version | tr -d '\r')
    [[ "$line" =~ ^$exe\ $version(\ \(git\ .+\))?$ ]] || fail "$exe --version printed: $line"
    echo "installed: $line"
  done
  # The uninstaller copies itself to a temporary folder and exits at once;
  # the copy removes the folder, so wait for every process to end.
  "$wine" "$folder/Uninstall.exe" /S || fail "the uninstaller exited $?"
  "$wineserver" -w
  [ ! -e "$folder" ] || fail "$folder_win is left: $(ls -A "$folder" | tr '\n' ' ')"
  [ ! -e "$shortcut" ] || fail "the shortcut is left"
  [ -z "$(uninstall_entry "$hive")" ] || fail "the $hive uninstall entry is left"
}

echo "== Wine: a fresh prefix"
rm -rf "$WINEPREFIX"
"$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -w
echo "== install for the current user, uninstall"
install_cycle HKCU "$(windows_var LOCALAPPDATA)\\Programs\\q8loader" \
  "$(windows_var APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs"
[ -z "$(uninstall_entry HKLM)" ] || fail "the per-user install wrote an HKLM entry"
echo "== install for all users (/ALLUSERS), uninstall"
install_cycle HKLM "$(windows_var ProgramFiles)\\q8loader" \
  "$(windows_var ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs" /ALLUSERS

size() { stat -c %s "$2" | awk -v name="$1" '{ printf "%-24s %9d bytes (%.1f MB)\n", name, $1, $1 / 1048576 }'; }
echo "== sizes"
size "q8loader.exe (built)" "$win/src/ui/q8loader.exe"
size "q8loader.exe (packaged)" "$work/$package/q8loader.exe"
size "$package.exe" "$win/$package.exe"
size "$package.zip" "$win/$package.zip"
echo "took $((SECONDS - started)) s"
[ "$failed" -eq 0 ] && echo "Windows packages: zip, installer, install, uninstall as expected"
exit "$failed"
