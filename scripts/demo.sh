#!/usr/bin/env bash
# Sets everything up, builds the program and runs its demo over the simulated bus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/setup.sh
# Only the program the demo runs: the tests are built by ./scripts/test.sh.
./scripts/build.sh build --target korvel-sim
# The demo is a window. Without a display (neither X11 nor Wayland) nobody could see or use
# it, so say how to run it, and instead let it take its own pictures on a virtual X server
# (xvfb-run) and end: the window, a device hint and the update question.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  pictures=build/demo-pictures
  echo "No display here: korvel-sim is a window. On a desktop, run ./scripts/demo.sh there," >&2
  echo "or forward X (ssh -X) and run ./build/app/korvel-sim." >&2
  echo "Taking the demo's pictures on a virtual X server into $pictures/ instead." >&2
  xvfb-run -a -s "-screen 0 800x600x24" ./build/app/korvel-sim --screenshots "$pictures" en
  ls "$pictures"
  exit 0
fi
exec ./build/app/korvel-sim "$@"
