#!/usr/bin/env bash
# build.sh DIR [--target NAME]... [cmake options...]: configures (once) and builds into DIR:
# the named targets only, or the whole tree when none is named.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
targets=()
options=()
while [ $# -gt 0 ]; do
  if [ "$1" = --target ]; then targets+=("$2"); shift 2; else options+=("$1"); shift; fi
done
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
else
  cmake --build "$dir" -j "$(nproc)"
fi
