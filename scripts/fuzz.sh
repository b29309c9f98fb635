#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the libFuzzer target over the firmware image checks with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz, and runs it for SECONDS
# (default 60, or KORVEL_FUZZ_SECONDS). Exits non-zero when an input crashes a check or trips
# a sanitizer; the input is then left in build-fuzz/fuzz/artifacts. The corpus the fuzzer
# grows stays in build-fuzz/fuzz/corpus for the next run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${KORVEL_FUZZ_SECONDS:-60}}
dir=$root/build-fuzz

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DKORVEL_SANITIZE=address,undefined -DKORVEL_FUZZ=ON \
  -DKORVEL_BUILD_WINDOW=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target fuzz_image_checks fuzz_seed_corpus
"$root/tests/fuzz/run_fuzz.sh" "$dir/tests/fuzz/fuzz_image_checks" \
  "$dir/tests/fuzz/fuzz_seed_corpus" "$dir/fuzz" "$seconds"
