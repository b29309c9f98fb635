#!/usr/bin/env bash
# run_fuzz.sh FUZZER SEED_WRITER WORK_DIR SECONDS: writes the seed corpus into WORK_DIR/seeds,
# then runs the fuzzer for SECONDS over it, growing WORK_DIR/corpus (kept between runs). An
# input that crashes a check or trips a sanitizer is saved in WORK_DIR/artifacts and the
# script exits non-zero.
set -euo pipefail
fuzzer=$1
seed_writer=$2
work=$3
seconds=$4
here=$(cd "$(dirname "$0")" && pwd)

mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
"$seed_writer" "$work/seeds"
# Inputs up to 64 KiB: enough for a two-section PV40 file's second identification block.
"$fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -dict="$here/image_checks.dict" -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds"
