#!/usr/bin/env bash
# Installs what the Windows builds and their Wine runs need, where it is missing: Debian's
# mingw-w64 cross compilers (64-bit: POSIX thread model; 32-bit: win32 thread model, whose
# runtime runs on Windows XP), their binutils (objdump reads the import tables), 64-bit Wine,
# and the tools that turn the window's SVG pictures into the program's icons (rsvg-convert,
# icotool).
# No i386 package is installed here: 32-bit Wine runs in a root filesystem of its own
# (scripts/win32-stage.sh), made from one suite so that its amd64 and i386 halves agree.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  wine wine64
  librsvg2-bin icoutils
  locales
)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
