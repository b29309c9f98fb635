#!/usr/bin/env bash
# Installs the Debian packages the real-kernel test needs, where they are missing: QEMU to boot
# the guest, a static busybox for its userland, kmod for depmod/modprobe on the host side (to
# work out which kernel modules the guest needs) and the static C library for the test program.
set -euo pipefail

packages=(qemu-system-x86 busybox-static kmod cpio libc6-dev)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
