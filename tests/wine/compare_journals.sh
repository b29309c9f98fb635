#!/bin/sh
# compare_journals.sh CASES QT_SIM FIRMWARE_WRITER WIN32_SIM LAUNCHER...
#
# Runs every pair of a bus file and a script of the harness's CASES folder through korvel-sim
# with the Qt face (a Linux program) and korvel-sim.exe with the Win32 face (run by LAUNCHER,
# Wine), in one scratch folder holding the scripts' firmware files (FIRMWARE_WRITER, run by
# LAUNCHER, writes them). The two faces show one form, so their journals and exit codes must
# be the same, byte for byte: any difference is a fault in one face. Exits non-zero on one.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cases=$(cd "$1" && pwd)
qt_sim=$2
writer=$3
win32_sim=$4
shift 4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
"$@" "$writer" . || { echo "cannot write the firmware files" >&2; exit 1; }
"$here/run_harness_cases.sh" "$cases" "$scratch/qt" "$qt_sim"
"$here/run_harness_cases.sh" "$cases" "$scratch/win32" "$@" "$win32_sim"
exec "$here/same_journals.sh" "$scratch/qt" "$scratch/win32"
