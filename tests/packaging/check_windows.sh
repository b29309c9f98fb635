#!/usr/bin/env bash
# check_windows.sh DIST: the Windows artifacts of DIST (scripts/package.sh). What the released
# installer does under 32-bit Wine is checked by the 32-bit stage (scripts/win32-stage.sh,
# tests/packaging/installer_round.sh).
# - The portable zip holds one folder with both builds (each the window's GUI program and the
#   command line's console program), the read-me and the licence.
# - The released installer is a 32-bit NSIS installer whose payload (read by 7-Zip, which
#   unpacks NSIS installers) is the zip's 32-bit programs, the read-me and the licence.
set -euo pipefail
dist=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
ok() { echo "ok: $*"; }

installer=$(find "$dist" -name 'korvel-update-*-setup.exe' -print -quit)
zip=$(find "$dist" -name 'korvel-update-*-windows.zip' -print -quit)
[ -f "$installer" ] && [ -f "$zip" ] || { echo "FAIL: no installer or zip in $dist"; exit 1; }

# --- The zip ---
unzip -q "$zip" -d "$scratch/zip"
folder=$(basename "$zip" .zip)
listing=$(cd "$scratch/zip" && find . -type f | sort | tr '\n' ' ')
expected="./$folder/32-bit/korvel-update.com ./$folder/32-bit/korvel-update.exe"
expected+=" ./$folder/64-bit/korvel-update.com ./$folder/64-bit/korvel-update.exe"
expected+=" ./$folder/LICENSE.txt ./$folder/README.txt "
[ "$listing" = "$expected" ] || fail "the zip holds: $listing"
file "$scratch/zip/$folder/32-bit/korvel-update.exe" | grep -q 'PE32 executable (GUI) Intel 80386' \
  || fail "no 32-bit GUI program"
file "$scratch/zip/$folder/64-bit/korvel-update.exe" | grep -q 'PE32+ executable (GUI) x86-64' \
  || fail "no 64-bit GUI program"
file "$scratch/zip/$folder/32-bit/korvel-update.com" | grep -q 'PE32 executable (console) Intel 80386' \
  || fail "no 32-bit console program"
file "$scratch/zip/$folder/64-bit/korvel-update.com" | grep -q 'PE32+ executable (console) x86-64' \
  || fail "no 64-bit console program"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$scratch/zip/$folder/LICENSE.txt" || fail "no GPL text"
[ "$failed" = 0 ] && ok "the zip: both builds, read-me and licence"

# --- The released installer's payload ---
7zz l "$installer" | grep -qx 'SubType = NSIS-3 Unicode' || fail "not a 32-bit NSIS installer"
7zz x -y -o"$scratch/payload" "$installer" >/dev/null
for file in 32-bit/korvel-update.exe 32-bit/korvel-update.com LICENSE.txt README.txt; do
  cmp -s "$scratch/payload/$(basename "$file")" "$scratch/zip/$folder/$file" \
    || fail "the installer's $(basename "$file") is not the zip's $file"
done
[ "$failed" = 0 ] && ok "the installer carries the 32-bit programs, read-me and licence"

exit "$failed"
