#!/usr/bin/env bash
# Fails when a source file includes a header outside its layer's reach:
# operating-system headers only in os/ and the window's Win32 face (app/win32/), Qt only in app/qt/,
# the programs' entries in app/ and util/ (never in the form, the Win32 face, the terminal face or
# korvel-sim's harness). The tiers that prove the real platform
# (tests/kernel and tests/linux on Linux, tests/wine on Windows) set it up with its own headers.
set -u
root=${1:-.}
cd "$root" || exit 2
status=0
os_headers='<(windows|winioctl|ntddscsi|winreg|winver|commctrl|commdlg)\.h>|<(unistd|fcntl|dirent|dlfcn)\.h>|<sys/|<scsi/|<linux/'
hits=$(grep -rnE "^\s*#\s*include\s*($os_headers)" --include='*.cpp' --include='*.h' \
        app form messages transport scsi families util sim tests 2>/dev/null |
        grep -vE '^(tests/(kernel|wine|linux)|app/win32)/')
if [ -n "$hits" ]; then
  echo "Operating-system headers outside os/ and app/win32/:"; echo "$hits"; status=1
fi
hits=$(grep -rnE '^\s*#\s*include\s*<Q[A-Za-z]+' --include='*.cpp' --include='*.h' \
        form messages transport scsi families os sim app/win32 app/harness app/terminal 2>/dev/null)
if [ -n "$hits" ]; then
  echo "Qt headers below app/ and util/, or in the Win32 face, the terminal face or the harness:"; echo "$hits"; status=1
fi
[ $status -eq 0 ] && echo "layering: ok"
exit $status
