#!/bin/sh
# win32-stage-inner.sh prefix
# win32-stage-inner.sh run WORK copy|keep
#
# The part of the 32-bit stage (scripts/win32-stage.sh) that runs inside the 32-bit Wine root
# filesystem, in a chroot or in the QEMU guest booted from it, with the project folder at the
# same path as on the host.
#
# "prefix" makes the Wine prefix every run starts from, once: 32-bit, reporting Windows XP, so
# that every path of the programs that asks for the system's version runs as on XP. It is kept
# in the root filesystem (/var/lib/korvel-wine/xp).
# "run" runs the stage into WORK: the prefix copied into WORK first ("copy"), or used as it is
# ("keep": the guest boots with a throw-away overlay over its disk); then
#   tests      every test of build-win32/ (unit tier and Wine tier, the library mode through
#              Wine's own wnaspi32.dll among them), each program started once for its cases;
#   harness    korvel-sim.exe over every pair of tests/harness/cases, its journals into
#              WORK/harness/win32 for the host to compare with the Qt face's;
#   picture    the window on a virtual X server with Wine's X11 driver, into WORK/pictures;
#   installer  the released installer from dist/, installed, started and uninstalled.
# Prints each step's time and verdict; exits non-zero when a step failed.
set -u
project=$(cd "$(dirname "$0")/../.." && pwd)
wine=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver32
launcher=$project/cmake/toolchains/wine-run.sh
pristine=/var/lib/korvel-wine/xp
export WINEDEBUG=-all
# No Mono or Gecko prompts; no menu entries for shortcuts the installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=C.UTF-8

make_prefix() {
  [ -f "$pristine/system.reg" ] && return 0
  start=$(date +%s)
  rm -rf "$pristine"
  mkdir -p "$(dirname "$pristine")"
  WINEPREFIX=$pristine WINEARCH=win32 "$wine" wineboot -i >/dev/null 2>&1
  WINEPREFIX=$pristine "$wine" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
  WINEPREFIX=$pristine "$wineserver" -w
  version=$(WINEPREFIX=$pristine "$wine" cmd /c ver 2>/dev/null | tr -d '\r' | grep .)
  WINEPREFIX=$pristine "$wineserver" -w
  case $version in
    *" 5.1."*) echo "stage: prefix made in $(($(date +%s) - start)) s: $version" ;;
    *) echo "stage: FAILED, the new prefix reports '$version', not Windows XP"
       rm -rf "$pristine"; return 1 ;;
  esac
}

if [ "${1:-}" = prefix ]; then
  make_prefix
  exit $?
fi
[ "${1:-}" = run ] && [ $# = 3 ] || { echo "usage: $0 prefix | run WORK copy|keep" >&2; exit 2; }
work=$2
mkdir -p "$work"
failed=""
step_start=0
begin() { step_start=$(date +%s); echo "stage: $1"; }
end() {  # end STEP STATUS
  if [ "$2" = 0 ]; then
    echo "stage: $1 passed in $(($(date +%s) - step_start)) s"
  else
    echo "stage: $1 FAILED in $(($(date +%s) - step_start)) s"
    failed="$failed $1"
  fi
}

begin prefix
make_prefix || { echo "stage: FAILED, no Wine prefix"; exit 1; }
if [ "$3" = copy ]; then
  rm -rf "$work/prefix"
  cp -a "$pristine" "$work/prefix"
  prefix=$work/prefix
else
  prefix=$pristine
fi
export WINEPREFIX=$prefix KORVEL_WINEPREFIX=$prefix
# One Wine server for the test programs: started here, it stays until the installer round.
"$wineserver" -p
# A program that crashes ends, its backtrace in the log, instead of waiting for ever behind
# the crash dialog of Wine's debugger, which nobody can answer here.
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  </dev/null >/dev/null 2>&1
end prefix 0

begin tests
# (The XP import checks read the programs with the host's objdump: scripts/windows-test.sh.)
python3 "$project/tests/wine/run_once_per_program.py" "$project/build-win32" "$work/tests" \
  --timeout 900 --exclude '^xp_imports[.]' --windows-paths >"$work/tests.log" 2>&1
status=$?
grep -E '^(FAIL|skipped) ' "$work/tests.log" | head -40
tail -2 "$work/tests.log"
end tests $status

begin harness
rm -rf "$work/harness"
mkdir -p "$work/harness"
(
  cd "$work/harness" &&
  "$launcher" "$wine" "$prefix" "$project/build-win32/tests/wine/write_harness_firmware.exe" . \
    >/dev/null &&
  "$project/tests/wine/run_harness_cases.sh" "$project/tests/harness/cases" "$work/harness/win32" \
    "$launcher" "$wine" "$prefix" "$project/build-win32/app/win32/korvel-sim.exe"
)
status=$?
echo "stage: $(ls "$work/harness/win32"/*.code 2>/dev/null | wc -l) harness cases run by korvel-sim.exe"
end harness $status

# The Wine server of the tests goes: the picture and the installer round wait for theirs to end.
"$wineserver" -k 2>/dev/null
"$wineserver" -w

begin picture
rm -rf "$work/pictures"
mkdir -p "$work/pictures"
# Wine draws the window frames itself, as Windows does; its title bar buttons are glyphs of its
# Marlett font.
"$wine" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
xvfb-run -a -s "-screen 0 800x600x24" \
  "$wine" "$project/build-win32/app/win32/korvel-sim.exe" --screenshots "$work/pictures" en \
  >"$work/picture.log" 2>&1
status=$?
"$wineserver" -w
[ -s "$work/pictures/window-win32-en.bmp" ] || status=1
ls "$work/pictures"
end picture $status

begin installer
installer=$(ls "$project"/dist/korvel-update-*-setup.exe 2>/dev/null | head -n 1)
if [ -n "$installer" ]; then
  "$project/tests/packaging/installer_round.sh" "$wine" "$wineserver" "$prefix" "$installer"
  status=$?
else
  echo "FAIL: no installer in $project/dist (scripts/package.sh makes it)"
  status=1
fi
end installer $status

"$wineserver" -k 2>/dev/null
if [ -n "$failed" ]; then
  echo "stage: FAILED:$failed"
  exit 1
fi
echo "stage: every step passed"
