#!/usr/bin/env bash
# check_windows.sh DIST INSTALLER64: the Windows artifacts of DIST (scripts/package.sh) and,
# under Wine, what their installer does.
# - The portable zip holds one folder with both programs, the read-me and the licence.
# - The released installer is a 32-bit NSIS installer whose payload (read by 7-Zip, which
#   unpacks NSIS installers) is the zip's 32-bit program, the read-me and the licence.
# - Run silently (/S) under Wine, an installer puts the program, read-me, licence, uninstaller
#   and the Start-menu shortcut to the program in place and registers the uninstaller; the
#   installed program starts, opens its window, and ends with 0 when that is closed; the
#   uninstaller run silently leaves drive C: and the registry as they were before. 64-bit Wine
#   runs INSTALLER64, the 64-bit build of the same installer script carrying the 64-bit
#   program; where the kernel runs 32-bit programs, 32-bit Wine also runs the released one.
set -euo pipefail
dist=$(realpath "$1")
installer64=$(realpath "$2")
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
expected="./$folder/32-bit/korvel-update.exe ./$folder/64-bit/korvel-update.exe"
expected+=" ./$folder/LICENSE.txt ./$folder/README.txt "
[ "$listing" = "$expected" ] || fail "the zip holds: $listing"
file "$scratch/zip/$folder/32-bit/korvel-update.exe" | grep -q 'PE32 executable (GUI) Intel 80386' \
  || fail "no 32-bit GUI program"
file "$scratch/zip/$folder/64-bit/korvel-update.exe" | grep -q 'PE32+ executable (GUI) x86-64' \
  || fail "no 64-bit GUI program"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$scratch/zip/$folder/LICENSE.txt" || fail "no GPL text"
[ "$failed" = 0 ] && ok "the zip: both programs, read-me and licence"

# --- The released installer's payload ---
7zz l "$installer" | grep -qx 'SubType = NSIS-3 Unicode' || fail "not a 32-bit NSIS installer"
7zz x -y -o"$scratch/payload" "$installer" >/dev/null
for file in 32-bit/korvel-update.exe LICENSE.txt README.txt; do
  cmp -s "$scratch/payload/$(basename "$file")" "$scratch/zip/$folder/$file" \
    || fail "the installer's $(basename "$file") is not the zip's $file"
done
[ "$failed" = 0 ] && ok "the installer carries the 32-bit program, read-me and licence"

# --- Under Wine ---
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\korvel-update'
export WINEDEBUG=-all
# No Mono or Gecko prompts; no menu entries of the host's desktop for the shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

wineserver=/usr/lib/wine/wineserver64

# wine_round LOADER INSTALLER NAME: install, start, uninstall in a fresh prefix.
wine_round() {
  local wine=$1 setup=$2 round=$3
  export WINEPREFIX=$scratch/prefix-$(basename "$wine")
  "$wine" wineboot -i >/dev/null 2>&1
  # Wine's null display driver: windows without an X display.
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
  "$wineserver" -w
  # Everything on C: but the temporary files (the uninstaller runs from a copy there).
  snapshot() { (cd "$WINEPREFIX/drive_c" && find . -path './users/*/Temp' -prune -o -print | sort); }
  snapshot > "$scratch/before"

  "$wine" "$setup" /S || fail "$round: the installer ended with $?"
  "$wineserver" -w
  local location folder
  location=$("$wine" reg query "$uninstall_key" /v InstallLocation 2>/dev/null \
    | tr -d '\r' | sed -n 's/^ *InstallLocation *REG_SZ *//p')
  if [ -z "$location" ]; then
    fail "$round: no uninstaller registered"
    return
  fi
  folder=$("$wine" winepath -u "$location" 2>/dev/null | tr -d '\r')
  for file in korvel-update.exe LICENSE.txt README.txt uninstall.exe; do
    [ -f "$folder/$file" ] || fail "$round: no $location\\$file"
  done
  local shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KORVEL Firmware Update.lnk"
  [ -f "$shortcut" ] && strings -a "$shortcut" | grep -qxF "$location\\korvel-update.exe" \
    || fail "$round: no Start-menu shortcut to $location\\korvel-update.exe"
  [ "$failed" = 0 ] && ok "$round: installed into $location, with the shortcut"

  # The installed program: its window is closed (taskkill sends WM_CLOSE to it) once it is open.
  rm -f "$scratch/code"
  ( "$wine" "$location\\korvel-update.exe"; echo $? > "$scratch/code" ) &
  for _ in $(seq 60); do
    [ -f "$scratch/code" ] && break
    "$wine" taskkill /im korvel-update.exe >/dev/null 2>&1 || true
    sleep 0.5
  done
  if [ ! -f "$scratch/code" ]; then
    "$wine" taskkill /f /im korvel-update.exe >/dev/null 2>&1 || true
  fi
  wait
  if [ "$(cat "$scratch/code" 2>/dev/null)" = 0 ]; then
    ok "$round: the installed program opened its window and ended with 0 when it was closed"
  else
    fail "$round: the installed program ended with $(cat "$scratch/code" 2>/dev/null || echo nothing)"
  fi

  "$wine" "$location\\uninstall.exe" /S || fail "$round: the uninstaller ended with $?"
  "$wineserver" -w
  snapshot | diff "$scratch/before" - || fail "$round: the uninstaller left C: changed"
  "$wine" reg query "$uninstall_key" >/dev/null 2>&1 && fail "$round: the registry key is left"
  [ "$failed" = 0 ] && ok "$round: uninstalled, C: and the registry as before"
  "$wineserver" -k || true
}

wine_round /usr/lib/wine/wine64 "$installer64" "64-bit installer, 64-bit Wine"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine_round /usr/lib/wine/wine "$installer" "released 32-bit installer, 32-bit Wine"
else
  echo "NOT RUN: the released 32-bit installer under 32-bit Wine; this machine's kernel" \
       "cannot run 32-bit programs"
fi
exit "$failed"
