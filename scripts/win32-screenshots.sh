#!/usr/bin/env bash
# win32-screenshots.sh [FOLDER]: the Win32 window's pictures for the documentation, taken on a
# virtual X server (xvfb-run) with Wine's X11 driver: korvel-sim.exe's --screenshots mode, in
# English and in Traditional Chinese, saved as PNG files (window-win32-*, hint-win32-*,
# confirm-win32-*) into FOLDER (default docs/). Needs the 64-bit Windows build
# (scripts/windows-test.sh makes it in build-win64/); installs the packages it uses.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
folder=$(mkdir -p "${1:-docs}" && cd "${1:-docs}" && pwd)
program=build-win64/app/win32/korvel-sim.exe
[ -f "$program" ] || { echo "no $program: run scripts/windows-test.sh first" >&2; exit 1; }

# xvfb for the screen, Wine's own fonts (the title bar's buttons are drawn with its Marlett),
# a Chinese font, and netpbm to turn the bitmaps korvel-sim.exe saves into PNG files.
./scripts/install-packages.sh xvfb xauth fonts-wine fonts-noto-cjk netpbm locales

export WINEPREFIX="$root/build-win64/wine-screenshots"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
locales="$root/build-win64/locales"
# localedef makes the locale's folder but not its parent: without one, every picture would come
# out in English.
mkdir -p "$locales"
for locale in en_US zh_TW; do
  [ -f "$locales/$locale.UTF-8/LC_CTYPE" ] || localedef -i "$locale" -f UTF-8 "$locales/$locale.UTF-8" || true
done
bitmaps=$(mktemp -d)
trap 'rm -rf "$bitmaps"' EXIT

for tag in en zh_TW; do
  case $tag in en) locale=en_US ;; *) locale=$tag ;; esac
  # Wine draws the windows' frames itself (Managed N), as Windows does, instead of leaving
  # them to a window manager the virtual screen does not have; its title bar buttons are
  # glyphs of its Marlett font, copied into the prefix's Fonts folder.
  LANG=$locale.UTF-8 LOCPATH="$locales" xvfb-run -a -s "-screen 0 800x600x24" sh -c '
    wine=/usr/lib/wine/wine64
    $wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Chinese text in Noto Sans CJK TC: the Zen Hei font Wine would otherwise take for the
    # Traditional Chinese system faces carries bitmaps for small sizes that look broken.
    for face in PMingLiU MingLiU 新細明體 細明體; do
      $wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "$face" \
        /d "Noto Sans CJK TC" /f >/dev/null
    done
    $wine "$0" --screenshots "$1" "$2"' "$program" "$bitmaps" "$tag"
done
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
for bitmap in "$bitmaps"/*.bmp; do
  name=$(basename "$bitmap" .bmp)
  bmptopnm "$bitmap" 2>/dev/null | pnmtopng -compression 9 >"$folder/$name.png"
  echo "$folder/$name.png"
done
