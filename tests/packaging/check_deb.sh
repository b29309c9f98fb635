#!/usr/bin/env bash
# check_deb.sh DEB: the Debian package as a desktop and a user meet it.
# - lintian finds no error;
# - unpacked into a scratch root (dpkg -x), the program, desktop entry, icon, AppStream
#   metadata, manual page and documentation are where the desktop and man look for them, and
#   they name one another (the entry's program and icon, the metadata's launchable);
# - the polkit action is valid and where polkit looks, and names the packaged root helper;
# - the packaged program starts on a virtual X display and, on a machine without SCSI generic
#   nodes, shows its start failure box; answered OK, it ends with exit code 1.
set -euo pipefail
deb=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
ok() { echo "ok: $*"; }

# (CI runs as root, which lintian warns about on every run.)
lintian --fail-on error "$deb" 2> >(grep -v 'running with root privileges' >&2) \
  && ok "lintian: no errors" || fail "lintian reports errors"

root=$scratch/root
dpkg -x "$deb" "$root"
desktop=$(find "$root/usr/share/applications" -name '*.desktop' -print -quit)
metainfo=$(find "$root/usr/share/metainfo" -name '*.metainfo.xml' -print -quit)
[ -x "$root/usr/bin/korvel-update" ] || fail "no /usr/bin/korvel-update"
[ -f "$desktop" ] && desktop-file-validate "$desktop" || fail "no valid desktop entry"
[ -f "$metainfo" ] && appstreamcli validate --no-net "$metainfo" >/dev/null \
  || fail "no valid AppStream metadata"
key() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(key Exec)" = korvel-update ] || fail "the desktop entry starts '$(key Exec)'"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$(key Icon).svg" ] \
  || fail "no hicolor icon named '$(key Icon)'"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" \
  || fail "the AppStream metadata does not launch $(basename "$desktop")"
grep -q "<release version=\"$(dpkg-deb -f "$deb" Version)\"" "$metainfo" \
  || fail "the AppStream release is not the package's version"
grep -q '<screenshot type="default">' "$metainfo" || fail "no screenshot in the metadata"
man_page=$root/usr/share/man/man1/korvel-update.1.gz
[ -f "$man_page" ] && grep -q /dev/sg <(zcat "$man_page") \
  || fail "no manual page telling about the sg nodes"
for file in copyright changelog.gz README.Debian; do
  [ -f "$root/usr/share/doc/korvel-update/$file" ] || fail "no /usr/share/doc/korvel-update/$file"
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6 (>=' \
  || fail "the dependencies were not taken from the shared libraries"
dpkg-deb -f "$deb" Depends | grep -qE '(^|, )pkexec(,|$| )' || fail "the package does not depend on pkexec"

# The polkit action where polkit reads actions, valid by polkit's DTD, naming the packaged
# helper as its program, asking active local sessions for the administrator (kept a while),
# nobody else, in English, Traditional Chinese and Japanese.
actions=$root/usr/share/polkit-1/actions
policy=$(find "$actions" -name '*.policy' -print -quit 2>/dev/null)
if [ -z "$policy" ]; then
  fail "no polkit action in /usr/share/polkit-1/actions"
else
  xmllint --noout --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd "$policy" \
    || fail "the polkit action is not valid by polkit's DTD"
  value() { xmllint --xpath "string($1)" "$policy"; }
  helper=$(value '//annotate[@key="org.freedesktop.policykit.exec.path"]')
  [ -n "$helper" ] && [ -x "$root$helper" ] && [ -z "$(find "$root$helper" -perm /6000)" ] \
    || fail "the action's program '$helper' is not a packaged, non-setuid program"
  [ "$(basename "$policy" .policy)" = "$(value '//action/@id')" ] \
    || fail "the action file is not named after its action"
  [ "$(value '//defaults/allow_active')" = auth_admin_keep ] \
    && [ "$(value '//defaults/allow_inactive')" = no ] && [ "$(value '//defaults/allow_any')" = no ] \
    || fail "the action's defaults are not auth_admin_keep for active sessions and no for others"
  for lang in zh_TW ja; do
    [ -n "$(value "//message[@xml:lang='$lang']")" ] || fail "no $lang message in the action"
  done
fi
[ "$failed" = 0 ] && ok "files in place: program, menu entry, icon, metadata, manual, docs"

# The packaged program itself, not the build's. On a machine with sg nodes it would find
# devices, and the start failure cannot be shown.
if compgen -G '/dev/sg*' >/dev/null; then
  echo "SKIPPED: this machine has SCSI generic nodes, so the start failure cannot be shown"
else
  cat > "$scratch/start.sh" <<'EOF'
"$1" 2>"$2" &
pid=$!
# The box, titled "Error — KORVEL Firmware Update" by Qt, within 20 seconds.
box=
for _ in $(seq 100); do
  for window in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
    case $(xdotool getwindowname "$window") in Error*) box=$window ;; esac
  done
  [ -n "$box" ] && break
  sleep 0.2
done
[ -n "$box" ] || { echo "no start failure box"; kill "$pid"; exit 99; }
xdotool windowfocus --sync "$box" key Return
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill "$pid" 2>/dev/null && { echo "still running after OK"; exit 99; }
wait "$pid"
EOF
  status=0
  # In English, whatever the locale of the run.
  LC_ALL=C.UTF-8 xvfb-run -a -s "-screen 0 800x600x24" bash "$scratch/start.sh" \
    "$root/usr/bin/korvel-update" "$scratch/stderr" || status=$?
  if [ "$status" = 1 ]; then
    ok "the packaged korvel-update starts and shows its start failure, exit code 1"
  else
    fail "the packaged korvel-update ended with $status"
    cat "$scratch/stderr"
  fi
fi
exit "$failed"
