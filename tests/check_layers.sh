#!/usr/bin/env bash
# Fails when a source file includes a header outside its layer's reach:
# operating-system headers only in os/, Qt only in app/ and util/ (never in the form). The tiers that prove the
# real platform (tests/kernel on Linux, tests/wine on Windows) set it up with its own headers.
set -u
root=${1:-.}
cd "$root" || exit 2
status=0
os_headers='<(windows|winioctl|ntddscsi|winreg|winver)\.h>|<(unistd|fcntl|dirent|dlfcn)\.h>|<sys/|<scsi/|<linux/'
hits=$(grep -rnE "^\s*#\s*include\s*($os_headers)" --include='*.cpp' --include='*.h' \
        app form messages transport scsi families util sim tests 2>/dev/null | grep -vE '^tests/(kernel|wine)/')
if [ -n "$hits" ]; then
  echo "Operating-system headers outside os/:"; echo "$hits"; status=1
fi
hits=$(grep -rnE '^\s*#\s*include\s*<Q[A-Za-z]+' --include='*.cpp' --include='*.h' \
        form messages transport scsi families os sim 2>/dev/null)
if [ -n "$hits" ]; then
  echo "Qt headers below app/ and util/:"; echo "$hits"; status=1
fi
[ $status -eq 0 ] && echo "layering: ok"
exit $status
