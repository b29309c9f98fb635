#!/usr/bin/env bash
# win32-root.sh: prints the folder of the root filesystem in which the 32-bit Windows programs
# run, making it first when it is missing. Runs as root (through sudo otherwise).
#
# 32-bit Wine is a 32-bit Linux program with 32-bit libraries. They are not installed on this
# machine: its amd64 libraries may come from the security suite, whose i386 twins may be
# missing or out of step, and multiarch needs both halves at one version. The root filesystem
# here is made by mmdebstrap from the distribution's main suite alone, amd64 and i386 together,
# so it is consistent in itself: 32-bit Wine, Xvfb for the window's picture, ctest and Python
# for the test runner, and Debian's kernel with its initramfs for the QEMU guest that boots
# it where this machine's kernel cannot start 32-bit programs (scripts/win32-stage.sh).
#
# Wine finds the mount points of its drives in /etc/mtab, which a root made this way lacks:
# without it, the Unix root behind drive Z: opens as one more volume.
#
# The root is kept outside the clone (KORVEL_CACHE, default /var/cache/korvel-update), under a
# name made from what it holds, so later runs on the same machine take it as it is; a root of
# an older recipe is removed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=KORVEL_CACHE "$0" "$@"
fi

"$root/scripts/install-packages.sh" mmdebstrap >&2

cache=${KORVEL_CACHE:-/var/cache/korvel-update}
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
packages=(
  wine32:i386                       # the 32-bit Wine loader, server and libraries
  locales                           # the locale sources the Wine tier generates its locales from
  cmake python3                     # ctest lists the tests; the runner starts them
  xvfb xauth fonts-wine             # the window's picture: an X server and Wine's own fonts
  linux-image-amd64 kmod mount      # the guest's kernel, initramfs, module loader and mount
)
recipe=$( { echo "$suite"; printf '%s\n' "${packages[@]}"; cat "$0"; } | sha256sum | cut -c1-16)
folder=$cache/win32-root-$recipe

if [ -f "$folder/complete" ]; then
  echo "$folder"
  exit 0
fi

# The distribution's own mirror, as this machine's apt reaches it.
mirror=$(apt-cache policy 2>/dev/null |
         awk -v suite="$suite/main" '$3 == suite && $4 == "amd64" { print $2; exit }')
if [ -z "$mirror" ]; then
  apt-get update >&2 || true
  mirror=$(apt-cache policy | awk -v suite="$suite/main" '$3 == suite && $4 == "amd64" { print $2; exit }')
fi
[ -n "$mirror" ] || { echo "win32-root: apt knows no mirror of $suite main" >&2; exit 1; }

echo "win32-root: making the 32-bit Wine root filesystem ($suite main, amd64 and i386)" >&2
start=$SECONDS
mkdir -p "$cache"
rm -rf "$cache"/win32-root-*
mkdir -p "$folder"
names=$(IFS=,; echo "${packages[*]}")
if ! mmdebstrap --variant=apt --architectures=amd64,i386 --include="$names" \
       --customize-hook='ln -sf ../proc/self/mounts "$1/etc/mtab"' \
       --customize-hook='rm -rf "$1"/var/cache/apt/archives/*.deb "$1"/var/lib/apt/lists/*' \
       "$suite" "$folder/root" "$mirror" >"$folder/mmdebstrap.log" 2>&1; then
  tail -20 "$folder/mmdebstrap.log" >&2
  echo "win32-root: FAILED, mmdebstrap could not make the root filesystem" \
       "(log: $folder/mmdebstrap.log)" >&2
  rm -rf "$folder/root"
  exit 1
fi
[ -x "$folder/root/usr/lib/wine/wine" ] || { echo "win32-root: FAILED, no 32-bit Wine in it" >&2; exit 1; }
touch "$folder/complete"
echo "win32-root: made in $((SECONDS - start)) s, $(du -sh "$folder/root" | cut -f1)" >&2
echo "$folder"
