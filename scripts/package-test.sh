#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The packaging stage: makes the release artifacts (scripts/package.sh, into dist/) and checks
# them as a user meets them (tests/packaging/): the Debian package with lintian, unpacked and
# started; the Windows zip and installer (which the Windows stage runs under 32-bit Wine).
# Installs the checking tools first. Exits non-zero when a package cannot be made or a check fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
start=$SECONDS
./scripts/install-packages.sh lintian desktop-file-utils appstream 7zip unzip xdotool xvfb xauth \
  libxml2-utils polkitd
./scripts/package.sh
version=$(cat build/korvel-version.txt)
tests/packaging/check_deb.sh dist/korvel-update_"$version"_*.deb
tests/packaging/check_windows.sh dist
echo "   packaged and checked in $((SECONDS - start)) s"
