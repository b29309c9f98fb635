#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# package.sh: makes the release artifacts into dist/ (emptied first):
#   korvel-update_VERSION_ARCH.deb        the Debian package (CPack), from the plain build
#   korvel-update-VERSION-setup.exe       the Windows installer (NSIS) of the 32-bit program
#   korvel-update-VERSION-windows.zip     both Windows builds (korvel-update.exe, the window, and
#                                         korvel-update.com, its command line), read-me, licence
#   SHA256SUMS                            the checksums of the three
# It takes the programs from the build trees the test stages use (build/, build-win32/,
# build-win64/), configuring a tree that is missing, and builds only what the packages need, so
# after the test stages nothing is compiled again. The 64-bit tree also makes an installer of
# its own, which stays there: 64-bit Wine can run it (tests/packaging/check_windows.sh).
# Installs its packages first. Exits non-zero when anything cannot be made.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
start=$SECONDS
./scripts/setup.sh
./scripts/windows-setup.sh
./scripts/install-packages.sh nsis zip dpkg-dev

# The release date the packages carry: the day of the last commit, so that the same sources
# make the same packages whenever they are built.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi

# build_targets DIR "CMAKE OPTIONS..." TARGET...: configures DIR as scripts/build.sh does (a
# tree already there keeps its cache) and builds those targets.
build_targets() {
  local dir=$1 options=$2
  shift 2
  # shellcheck disable=SC2086
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $options >/dev/null
  cmake --build "$dir" -j "$(nproc)" --target "$@"
}

windows_options() {
  echo "-DCMAKE_TOOLCHAIN_FILE=$root/cmake/toolchains/$1.cmake -DKORVEL_BUILD_WINDOW=OFF"
}

build_targets build "" korvel-update korvel-update-sg-helper korvel_package_files
build_targets build-win32 "$(windows_options mingw-w64-i686)" korvel_installer
build_targets build-win64 "$(windows_options mingw-w64-x86_64)" korvel_installer

version=$(cat build/korvel-version.txt)
for dir in build-win32 build-win64; do
  if [ "$(cat "$dir/korvel-version.txt")" != "$version" ]; then
    echo "package.sh: $dir was configured for version $(cat "$dir/korvel-version.txt")," \
         "build/ for $version" >&2
    exit 1
  fi
done

rm -rf dist
mkdir dist

# The Debian package. CPack installs into a staging folder of its own and strips the program.
rm -rf build/packaging/cpack
(cd build && cpack -B "$root/build/packaging/cpack" >/dev/null)
cp build/packaging/cpack/korvel-update_"$version"_*.deb dist/

cp "build-win32/packaging/windows/korvel-update-$version-setup.exe" dist/

# The portable zip: one folder holding both builds, the read-me and the licence, every entry
# with the release date as its time.
name=korvel-update-$version-windows
staging=build-win32/packaging/portable
rm -rf "$staging"
mkdir -p "$staging/$name/32-bit" "$staging/$name/64-bit"
release32=build-win32/packaging/windows/release
cp "$release32/korvel-update.exe" "$release32/korvel-update.com" "$staging/$name/32-bit/"
cp build-win64/packaging/windows/release/korvel-update.{exe,com} "$staging/$name/64-bit/"
cp "$release32/README.txt" "$release32/LICENSE.txt" "$staging/$name/"
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  find "$staging" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
fi
(cd "$staging" && TZ=UTC zip -X -9 -q -r "$root/dist/$name.zip" "$name")

(cd dist && sha256sum -- *.deb *.exe *.zip > SHA256SUMS)
echo "Packages in dist/ (made in $((SECONDS - start)) s):"
(cd dist && ls -l -- *.deb *.exe *.zip | awk '{ printf "  %-44s %9d bytes\n", $9, $5 }')
