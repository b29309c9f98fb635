#!/bin/sh
# run_harness_cases.sh CASES OUT SIM_COMMAND...
#
# Runs every pair of a bus file and a script of the harness's CASES folder through one face's
# korvel-sim (SIM_COMMAND: the Qt program itself, or Wine and korvel-sim.exe), in the current
# folder, which holds the scripts' firmware files. For each pair OUT gets BUS+SCRIPT.jsonl (the
# journal), .code (the exit code) and .err (what it printed on stderr). Each bus is also listed
# by korvel-update's command line, as BUS+list and BUS+list--json (--list --json), each with
# .out besides, its standard output. Two faces run this way over the same firmware files must
# leave the same journals, codes and listings: compare_journals.sh and the 32-bit stage compare
# them.
set -eu
cases=$(cd "$1" && pwd)
out=$2
shift 2
mkdir -p "$out"

for bus in "$cases"/bus-*.json; do
  for script in "$cases"/*.json; do
    case ${script##*/} in bus-*) continue ;; esac
    pair="$out/$(basename "$bus" .json)+$(basename "$script" .json)"
    cp "$bus" bus.json
    cp "$script" script.json
    rm -f journal.jsonl
    code=0
    "$@" --bus bus.json --script script.json --journal journal.jsonl 2>"$pair.err" || code=$?
    if [ -f journal.jsonl ]; then mv journal.jsonl "$pair.jsonl"; else : >"$pair.jsonl"; fi
    echo "$code" >"$pair.code"
  done
  cp "$bus" bus.json
  for json in "" --json; do
    pair="$out/$(basename "$bus" .json)+list$json"
    rm -f journal.jsonl
    code=0
    # shellcheck disable=SC2086
    "$@" --bus bus.json --journal journal.jsonl -- --list $json >"$pair.out" 2>"$pair.err" ||
      code=$?
    if [ -f journal.jsonl ]; then mv journal.jsonl "$pair.jsonl"; else : >"$pair.jsonl"; fi
    echo "$code" >"$pair.code"
  done
done
