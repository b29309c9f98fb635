#!/usr/bin/env bash
# Installs the Debian packages the real-kernel test needs, where they are missing: QEMU to boot
# the guest, a static busybox for its userland, kmod for depmod/modprobe on the host side (to
# work out which kernel modules the guest needs) and the static C library for the test program.
set -euo pipefail

packages=(qemu-system-x86 busybox-static kmod cpio libc6-dev)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
