#!/usr/bin/env bash
# Installs what the Windows builds and their Wine runs need, where it is missing: Debian's
# mingw-w64 cross compilers (64-bit: POSIX thread model; 32-bit: win32 thread model, whose
# runtime runs on Windows XP), their binutils (objdump reads the import tables), Wine, 64-bit
# and 32-bit, and the tools that turn the window's SVG pictures into the program's icons
# (rsvg-convert, icotool).
set -euo pipefail

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# The 32-bit Wine comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi

packages=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  wine wine64 wine32:i386
  librsvg2-bin icoutils
  locales
)

# A newly added architecture has no package lists yet; its wine32 package is then missing, so
# the install below updates them first.
exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
