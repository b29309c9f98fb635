#!/usr/bin/env bash
# Sets everything up, builds the program and runs every test: once as a plain build, once
# against a real Linux kernel in a QEMU guest, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, and once under ThreadSanitizer; then the Windows builds and their
# tests under Wine (the release packages are made there, as the 32-bit stage installs the
# released installer), and last the packages checked. Exits non-zero when any test fails.
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
run_ctest build -LE kernel

# The sg provider against a real Linux kernel in a QEMU guest (the static check program comes
# from the plain build; sanitizer builds cannot link it statically).
echo "== Real kernel (QEMU guest)"
./scripts/kernel-setup.sh
run_ctest build -L kernel

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
./scripts/build.sh build-asan -DKORVEL_SANITIZE=address,undefined
run_ctest build-asan

# The unit tier is small enough to run whole under ThreadSanitizer, which covers every test
# whose requests complete on another thread.
echo "== ThreadSanitizer"
./scripts/build.sh build-tsan -DKORVEL_SANITIZE=thread
run_ctest build-tsan -L unit

# The firmware image checks of every family and korvel-sim's input readers under libFuzzer
# (clang, AddressSanitizer and UndefinedBehaviorSanitizer), a minute for both.
echo "== Fuzzing the firmware image checks and korvel-sim's input readers"
./scripts/fuzz.sh 60

# Windows: everything below the window cross-built with mingw-w64, 64-bit and 32-bit, every
# test run under Wine, and the Win32 platform proven against Wine's own implementation; the
# 32-bit programs under 32-bit Wine reporting Windows XP, in a root filesystem of their own (a
# chroot, or a QEMU guest where this kernel starts no 32-bit program), the released installer
# among them.
echo "== Windows (mingw-w64, tests under Wine)"
./scripts/windows-test.sh

# The release packages, made from the plain build and the two Windows builds above (nothing is
# compiled again), and checked: lintian, the Debian package unpacked and started, the Windows
# zip and installer, the installer run under Wine.
echo "== Packages"
./scripts/package-test.sh
