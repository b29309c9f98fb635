#!/usr/bin/env bash
# The Windows stage: builds korvel-update.exe (the window's native Win32 face) and everything
# below the window for 64-bit and 32-bit Windows with Debian's mingw-w64, and runs each build's
# tests under Wine: the unit tier, cross-compiled, and the Wine tier (tests/wine), which proves
# the Win32 platform and the Win32 face against Wine's implementation, and runs every harness
# case through korvel-sim.exe and the plain build's Qt korvel-sim to compare their journals.
# The 64-bit tests run under this machine's 64-bit Wine. The 32-bit programs run under 32-bit
# Wine reporting Windows XP, in a root filesystem of their own (scripts/win32-stage.sh): their
# tests, the journal comparison, a picture of the window, and the released installer, which
# this stage makes first (scripts/package.sh, into dist/).
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

for bits in 64 32; do
  case $bits in
    64) toolchain=cmake/toolchains/mingw-w64-x86_64.cmake ;;
    32) toolchain=cmake/toolchains/mingw-w64-i686.cmake ;;
  esac
  dir=build-win$bits
  echo "== Windows, ${bits}-bit: build (mingw-w64)"
  start=$SECONDS
  # The 64-bit tree compares the journals of the two faces in a test of its own, which needs
  # the Qt korvel-sim of the plain Linux build (scripts/test.sh makes it first; without one the
  # comparison is left out). The 32-bit stage compares them itself.
  qt_sim=""
  [ "$bits" = 64 ] && [ -x build/app/korvel-sim ] && qt_sim="$root/build/app/korvel-sim"
  ./scripts/build.sh "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain" -DKORVEL_BUILD_WINDOW=OFF \
    -DKORVEL_QT_SIM="$qt_sim"
  echo "   built in $((SECONDS - start)) s"
  if [ "$bits" = 32 ]; then
    # The Windows XP import check reads each program's import table here; everything that
    # runs a 32-bit program runs in the 32-bit stage below.
    echo "== Windows, 32-bit: the Windows XP import check"
    failed=0
    checked=0
    while IFS= read -r -d '' program; do
      tests/wine/check_xp_imports.sh i686-w64-mingw32-objdump "$program" || failed=1
      checked=$((checked + 1))
    done < <(find "$dir" \( -path "$dir/wine-prefix" -o -path "$dir/stage" -o -path '*/CMakeFiles' \
               -o -path "$dir/packaging" \) -prune -o \
               \( -name '*.exe' -o -name '*.com' -o -name '*.dll' \) -type f -print0)
    echo "   $checked programs and libraries checked"
    [ "$failed" = 0 ] || exit 1
    continue
  fi
  echo "== Windows, ${bits}-bit: every test under Wine"
  start=$SECONDS
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
  echo "   tested in $((SECONDS - start)) s"
done

# The released installer, then every 32-bit program under 32-bit Wine.
./scripts/package.sh
./scripts/win32-stage.sh
