#!/usr/bin/env bash
# The Windows stage: builds korvel-update.exe (the window's native Win32 face) and everything
# below the window for 64-bit and 32-bit Windows with Debian's mingw-w64, and runs each build's
# tests under Wine: the unit tier, cross-compiled, and the Wine tier (tests/wine), which proves
# the Win32 platform and the Win32 face against Wine's implementation, and runs every harness
# case through korvel-sim.exe and the plain build's Qt korvel-sim to compare their journals.
# Installs its packages first (scripts/windows-setup.sh). Builds go to build-win64/ and
# build-win32/, each with its own Wine prefix inside. Exits non-zero when a build or a test
# fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/windows-setup.sh

stop_wine() {
  for dir in build-win64 build-win32; do
    if [ -d "$dir/wine-prefix" ]; then
      WINEPREFIX="$root/$dir/wine-prefix" wineserver -k >/dev/null 2>&1 || true
    fi
  done
}
trap stop_wine EXIT

# Whether the kernel runs 32-bit x86 programs, as 32-bit Wine's own loader is one.
runs_32_bit_programs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

for bits in 64 32; do
  case $bits in
    64) toolchain=cmake/toolchains/mingw-w64-x86_64.cmake ;;
    32) toolchain=cmake/toolchains/mingw-w64-i686.cmake ;;
  esac
  dir=build-win$bits
  echo "== Windows, ${bits}-bit: build (mingw-w64)"
  start=$SECONDS
  # The journal comparison of the two faces needs the Qt korvel-sim of the plain Linux build
  # (scripts/test.sh makes it first); without one the comparison is left out.
  qt_sim=""
  [ -x build/app/korvel-sim ] && qt_sim="$root/build/app/korvel-sim"
  ./scripts/build.sh "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain" -DKORVEL_BUILD_WINDOW=OFF \
    -DKORVEL_QT_SIM="$qt_sim"
  echo "   built in $((SECONDS - start)) s"
  if [ "$bits" = 32 ] && ! runs_32_bit_programs; then
    # 32-bit Wine is itself a 32-bit Linux program; a kernel built without 32-bit support
    # (some virtual machines) cannot start it. The build above still proves the 32-bit tree
    # compiles and links, and the import check reads its programs without running them.
    echo "== Windows, 32-bit: this machine cannot run 32-bit programs; only the Windows XP"
    echo "   import check runs here, not the tests under Wine"
    # (ctest cannot run even these: listing the unit tests starts each test program.)
    failed=0
    while IFS= read -r -d '' program; do
      tests/wine/check_xp_imports.sh i686-w64-mingw32-objdump "$program" || failed=1
    done < <(find "$dir" \( -path "$dir/wine-prefix" -o -path '*/CMakeFiles' \) -prune -o \
               \( -name '*.exe' -o -name '*.dll' \) -type f -print0)
    [ "$failed" = 0 ] || exit 1
    continue
  fi
  echo "== Windows, ${bits}-bit: every test under Wine"
  start=$SECONDS
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
  echo "   tested in $((SECONDS - start)) s"
done
