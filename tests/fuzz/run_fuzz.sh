#!/usr/bin/env bash
# run_fuzz.sh FUZZER SEEDS WORK_DIR SECONDS [LIBFUZZER OPTION...]: runs the fuzzer for SECONDS
# over its seed corpus, growing WORK_DIR/corpus (kept between runs). SEEDS is a folder of seed
# files (read with its subfolders, never written), or a program that writes the seeds into the
# folder it is given (WORK_DIR/seeds). An input that crashes a check or trips a sanitizer is
# saved in WORK_DIR/artifacts and the script exits non-zero.
set -euo pipefail
fuzzer=$1
seeds=$2
work=$3
seconds=$4
shift 4

mkdir -p "$work/corpus" "$work/artifacts"
if [ ! -d "$seeds" ]; then
  mkdir -p "$work/seeds"
  "$seeds" "$work/seeds"
  seeds=$work/seeds
fi
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$@" "$work/corpus" "$seeds"
