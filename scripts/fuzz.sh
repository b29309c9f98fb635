#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, and runs them one after the other for SECONDS in
# all (default 60, or KORVEL_FUZZ_SECONDS): two thirds over the firmware image checks of every
# family, the rest over korvel-sim's bus and script readers. They run as the ctest label `fuzz`
# runs them. Exits non-zero when an input crashes a check or trips a sanitizer; the input is
# then left in build-fuzz/fuzz/artifacts (image checks) or build-fuzz/fuzz-sim-input/artifacts
# (readers). The corpora the fuzzers grow stay in those folders for the next run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${KORVEL_FUZZ_SECONDS:-60}}
dir=$root/build-fuzz

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DKORVEL_SANITIZE=address,undefined -DKORVEL_FUZZ=ON \
  -DKORVEL_BUILD_WINDOW=OFF -DKORVEL_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build "$dir" -j "$(nproc)" --target fuzz_image_checks fuzz_seed_corpus fuzz_sim_input
ctest --test-dir "$dir" -L fuzz --output-on-failure
