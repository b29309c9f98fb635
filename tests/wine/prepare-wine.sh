#!/bin/sh
# prepare-wine.sh LOCALE_FOLDER WINE_LAUNCHER...
#
# Sets up what the Wine tier needs around the test programs, once per run (the wine_prefix
# fixture of ctest):
# - the Unix locales Wine derives the system locale from, generated into LOCALE_FOLDER (the
#   tests point LOCPATH there), so that Wine reports Chinese (Taiwan) and Japanese;
# - Wine's null display driver, so that windows exist without an X display;
# - Windows 98 as the version Wine reports to the programs that stand for the 9x family (and
#   to the copies of korvel-update.exe and korvel-update.com that are to meet no adapter
#   there), and for the one beside a wnaspi32.dll of its own, that DLL rather than Wine's
#   built-in one (Windows itself takes a DLL from the program's folder first);
# - the DLL search of the 9x family, the current folder before the system folder.
set -eu
locales=$1
shift

mkdir -p "$locales"
for locale in en_US zh_TW ja_JP; do
  if [ ! -f "$locales/$locale.UTF-8/LC_CTYPE" ]; then
    # localedef exits non-zero on mere warnings; the generated files are what count.
    localedef -i "$locale" -f UTF-8 "$locales/$locale.UTF-8" || true
    [ -f "$locales/$locale.UTF-8/LC_CTYPE" ] || { echo "cannot generate $locale" >&2; exit 1; }
  fi
done

"$@" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
for program in wine_win9x_tests.exe wine_partial_aspi_tests.exe korvel-update-win98.exe \
               korvel-update-win98.com; do
  "$@" reg add "HKCU\\Software\\Wine\\AppDefaults\\$program" /v Version /d win98 /f >/dev/null
done
"$@" reg add 'HKCU\Software\Wine\AppDefaults\wine_partial_aspi_tests.exe\DllOverrides' \
  /v wnaspi32 /d native /f >/dev/null
# The DLL search of the 9x family, which has no safe search mode: the current folder comes
# before the system folder. wine_win9x_tests starts a library from a current folder holding a
# wnaspi32.dll of our own, which must never be loaded; a wnaspi32.dll found by the search is
# loaded as the native DLL it would be on Windows (Wine's own stays what answers from the
# system folder).
"$@" reg add 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v SafeDllSearchMode /t REG_DWORD /d 0 /f >/dev/null
"$@" reg add 'HKCU\Software\Wine\AppDefaults\wine_win9x_tests.exe\DllOverrides' \
  /v wnaspi32 /d native,builtin /f >/dev/null
echo "Wine prefix and locales ready"
