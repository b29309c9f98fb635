#!/usr/bin/env bash
# Sets everything up, builds the program and runs its demo over the simulated bus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/setup.sh
./scripts/build.sh build
exec ./build/app/korvel-sim "$@"
