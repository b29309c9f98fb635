#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where they are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev libqt6svg6 fonts-wqy-zenhei xvfb xauth
  libsystemd-dev
  # A private system bus with a simulated logind, for the write span's inhibitor lock.
  dbus-daemon python3-dbusmock
  # The polkit action of the sg helper, checked against polkit's own DTD (polkitd ships it).
  libxml2-utils polkitd
)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
