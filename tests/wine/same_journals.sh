#!/bin/sh
# same_journals.sh QT_FOLDER WIN32_FOLDER: the journals and exit codes that
# run_harness_cases.sh left for the two faces must be the same, byte for byte, and so must the
# command line's standard output where it was kept (.out). Prints each pair that differs and a
# count; exits non-zero on any difference, or when no pair was run.
set -eu
qt=$1
win32=$2
pairs=0
different=0
for journal in "$qt"/*.jsonl; do
  [ -f "$journal" ] || continue
  name=$(basename "$journal" .jsonl)
  pairs=$((pairs + 1))
  qt_code=$(cat "$qt/$name.code")
  win32_code=$(cat "$win32/$name.code" 2>/dev/null || echo none)
  # (A listing that met no adapter sent no command: its journal may be empty.)
  if [ ! -s "$journal" ] && [ ! -f "$qt/$name.out" ]; then
    echo "FAIL $name: the Qt face wrote no journal (exit $qt_code)"; head -5 "$qt/$name.err"
    different=$((different + 1))
  elif [ "$qt_code" != "$win32_code" ] || ! cmp -s "$journal" "$win32/$name.jsonl" ||
       { [ -f "$qt/$name.out" ] && ! cmp -s "$qt/$name.out" "$win32/$name.out"; }; then
    echo "FAIL $name: exit codes $qt_code (Qt) and $win32_code (Win32)"
    diff -u "$journal" "$win32/$name.jsonl" | head -40 || true
    [ -f "$qt/$name.out" ] && { diff -u "$qt/$name.out" "$win32/$name.out" | head -20 || true; }
    head -5 "$win32/$name.err" 2>/dev/null || true
    different=$((different + 1))
  fi
done
echo "$pairs cases run by both faces, $different with different journals"
[ "$pairs" -gt 0 ] && [ "$different" = 0 ]
