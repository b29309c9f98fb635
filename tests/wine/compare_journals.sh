#!/bin/sh
# compare_journals.sh CASES QT_SIM FIRMWARE_WRITER WIN32_SIM LAUNCHER...
#
# Runs every pair of a bus file and a script of the harness's CASES folder through korvel-sim
# with the Qt face (a Linux program) and korvel-sim.exe with the Win32 face (run by LAUNCHER,
# Wine), in one scratch folder holding the scripts' firmware files (FIRMWARE_WRITER, run by
# LAUNCHER, writes them). The two faces show one form, so their journals and exit codes must
# be the same, byte for byte: any difference is a fault in one face. Exits non-zero on one.
set -eu
cases=$(cd "$1" && pwd)
qt_sim=$2
writer=$3
win32_sim=$4
shift 4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
"$@" "$writer" . || { echo "cannot write the firmware files" >&2; exit 1; }

pairs=0
different=0
for bus in "$cases"/bus-*.json; do
  for script in "$cases"/*.json; do
    case ${script##*/} in bus-*) continue ;; esac
    pair="${bus##*/} + ${script##*/}"
    cp "$bus" bus.json
    cp "$script" script.json
    rm -f qt.jsonl win32.jsonl
    qt_code=0
    "$qt_sim" --bus bus.json --script script.json --journal qt.jsonl 2>qt.err || qt_code=$?
    win32_code=0
    "$@" "$win32_sim" --bus bus.json --script script.json --journal win32.jsonl 2>win32.err ||
      win32_code=$?
    pairs=$((pairs + 1))
    if [ ! -s qt.jsonl ]; then
      echo "FAIL $pair: the Qt face wrote no journal (exit $qt_code)"; cat qt.err
      different=$((different + 1))
    elif [ "$qt_code" != "$win32_code" ] || ! cmp -s qt.jsonl win32.jsonl; then
      echo "FAIL $pair: exit codes $qt_code (Qt) and $win32_code (Win32)"
      diff -u qt.jsonl win32.jsonl | head -40 || true
      head -5 win32.err
      different=$((different + 1))
    fi
  done
done
echo "$pairs cases run by both faces, $different with different journals"
[ "$pairs" -gt 0 ] && [ "$different" = 0 ]
