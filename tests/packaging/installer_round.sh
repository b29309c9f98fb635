#!/usr/bin/env bash
# installer_round.sh WINE WINESERVER PREFIX INSTALLER: what the Windows installer does under
# Wine, as a user meets it. Run silently (/S), it puts the program, its command line, read-me,
# licence, uninstaller and the Start-menu shortcut to the program in place and registers the
# uninstaller; the installed program starts, opens its window, and ends with 0 when that is
# closed; the uninstaller run silently leaves drive C: and the registry as they were before.
# PREFIX is the Wine prefix to do it in, made first when it is not one yet.
# Prints a line per check ("ok: ..." or "FAIL: ..."); exits non-zero on a failed one.
set -uo pipefail
wine=$1
wineserver=$2
export WINEPREFIX=$3
installer=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
ok() { echo "ok: $*"; }

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\korvel-update'
export WINEDEBUG=-all
# No Mono or Gecko prompts; no menu entries of the host's desktop for the shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1
# Wine's null display driver: windows without an X display.
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
"$wineserver" -w
# Everything on C: but the temporary files (the uninstaller runs from a copy there), and the
# registry, as they are before the installer runs.
snapshot() { (cd "$WINEPREFIX/drive_c" && find . -path './users/*/Temp' -prune -o -print | sort); }
# regedit writes outside C: (Wine's Z: drive is the Unix root).
registry() {
  "$wine" regedit /e "$("$wine" winepath -w "$1" | tr -d '\r')" 'HKEY_LOCAL_MACHINE\Software' \
    >/dev/null 2>&1
  "$wineserver" -w
}
snapshot >"$scratch/before"
registry "$scratch/registry-before.reg"

"$wine" "$installer" /S || fail "the installer ended with $?"
"$wineserver" -w
location=$("$wine" reg query "$uninstall_key" /v InstallLocation 2>/dev/null |
           tr -d '\r' | sed -n 's/^ *InstallLocation *REG_SZ *//p')
if [ -z "$location" ]; then
  fail "no uninstaller registered"
  exit 1
fi
folder=$("$wine" winepath -u "$location" 2>/dev/null | tr -d '\r')
for file in korvel-update.exe korvel-update.com LICENSE.txt README.txt uninstall.exe; do
  [ -f "$folder/$file" ] || fail "no $location\\$file"
done
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KORVEL Firmware Update.lnk"
# The shortcut's target, among the printable runs of its bytes.
[ -f "$shortcut" ] && tr -c '[:print:]' '\n' <"$shortcut" | grep -qxF "$location\\korvel-update.exe" \
  || fail "no Start-menu shortcut to $location\\korvel-update.exe"
[ "$failed" = 0 ] && ok "installed into $location, with the shortcut"

# The installed command line answers.
"$wine" "$location\\korvel-update.com" --version 2>/dev/null | grep -q '^korvel-update [0-9]' ||
  fail "the installed korvel-update.com did not tell its version"

# The installed program: its window is closed (taskkill sends WM_CLOSE to it) once it is open.
( "$wine" "$location\\korvel-update.exe"; echo $? >"$scratch/code" ) &
for _ in $(seq 120); do
  [ -f "$scratch/code" ] && break
  "$wine" taskkill /im korvel-update.exe >/dev/null 2>&1 || true
  sleep 0.5
done
[ -f "$scratch/code" ] || "$wine" taskkill /f /im korvel-update.exe >/dev/null 2>&1 || true
wait
if [ "$(cat "$scratch/code" 2>/dev/null)" = 0 ]; then
  ok "the installed program opened its window and ended with 0 when it was closed"
else
  fail "the installed program ended with $(cat "$scratch/code" 2>/dev/null || echo nothing)"
fi

"$wine" "$location\\uninstall.exe" /S || fail "the uninstaller ended with $?"
"$wineserver" -w
snapshot | diff "$scratch/before" - || fail "the uninstaller left C: changed"
registry "$scratch/registry-after.reg"
# regedit writes UTF-16; compared as bytes, any key or value left behind differs.
cmp -s "$scratch/registry-before.reg" "$scratch/registry-after.reg" ||
  fail "the uninstaller left HKLM\\Software changed"
"$wine" reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstaller's registry key is left"
[ "$failed" = 0 ] && ok "uninstalled, C: and the registry as before"
exit "$failed"
