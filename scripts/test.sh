#!/usr/bin/env bash
# Sets everything up, builds the program and runs every test: once as a plain build, once
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the tests that cross threads
# under ThreadSanitizer. Exits non-zero when any test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/setup.sh

run_ctest() {
  local dir=$1; shift
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
}

echo "== Plain build"
./scripts/build.sh build
run_ctest build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
./scripts/build.sh build-asan -DKORVEL_SANITIZE=address,undefined
run_ctest build-asan

echo "== ThreadSanitizer (tests that cross threads)"
./scripts/build.sh build-tsan -DKORVEL_SANITIZE=thread
run_ctest build-tsan -L threads
