#!/bin/sh
# wine-run.sh LOADER PREFIX PROGRAM [ARGUMENTS...]
#
# Runs a Windows program under Wine: the cross builds' test launcher (their
# CMAKE_CROSSCOMPILING_EMULATOR). PREFIX is the Wine prefix, made on first use; KORVEL_WINEPREFIX
# overrides it, so that several build folders can share one. The Wine server is kept running
# for a few seconds after the last program ends (KORVEL_WINESERVER_LINGER, default 15), so a
# run of many short test programs does not start it, and Wine's own services, for each one.
set -u
loader=$1
prefix=$2
shift 2

fail() {
  echo "wine-run.sh: $*" >&2
  exit 125
}

export WINEPREFIX="${KORVEL_WINEPREFIX:-$prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installation prompts while a prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

[ -x "$loader" ] || fail "no Wine loader $loader (run scripts/windows-setup.sh)"
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32
[ -x "$server" ] || fail "no wineserver (run scripts/windows-setup.sh)"
mkdir -p "$(dirname "$WINEPREFIX")" || fail "cannot make the folder of $WINEPREFIX"
lock="$WINEPREFIX.lock"

# One launcher at a time makes the prefix and starts the server. Nothing started here may keep
# the lock (descriptor 9) open: the server would hold it for as long as it runs.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$loader" wineboot -i </dev/null >/dev/null 2>&1 9>&-
      "$server" -w 9>&-
    fi
  ) 9>"$lock"
  [ -f "$WINEPREFIX/system.reg" ] || fail "Wine could not make the prefix $WINEPREFIX"
fi

# Starts the server unless one is already running for this prefix (it then exits with 2).
# Wine's own services start with the first program and inherit its output, which would keep a
# test's output open (and ctest waiting) until they end: a program with no output starts them.
(
  flock 9
  if "$server" -p"${KORVEL_WINESERVER_LINGER:-15}" </dev/null >/dev/null 2>&1 9>&-; then
    "$loader" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$lock"

# Now and then Wine fails to start a program at all: it ends at once with an error and without
# a word (WINEDEBUG keeps Wine itself quiet). Every program run here prints something first (a
# test program its banner or its list of cases), so a failure with no output at all is Wine's,
# not the program's: such a start is tried once more. The output is passed on afterwards.
out=$(mktemp) || fail "cannot make a temporary file"
err=$(mktemp) || fail "cannot make a temporary file"
"$loader" "$@" >"$out" 2>"$err"
status=$?
if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run.sh: Wine ended $1 with $status before it printed anything; starting it again" >&2
  "$loader" "$@" >"$out" 2>"$err"
  status=$?
fi
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit "$status"
