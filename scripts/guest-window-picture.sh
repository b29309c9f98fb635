#!/usr/bin/env bash
# guest-window-picture.sh [--out DIR] [--work DIR]
#
# Pictures of korvel-update's Qt window as an ordinary user sees it on a real Linux kernel:
# a manual tool for the documentation, not a test, and not run by CI.
#
# It boots the real-kernel test's guest (scripts/kernel-test.sh: Debian's kernel under QEMU,
# the lsi53c895a adapter with a disk and a CD-ROM drive, scsi_debug, and simulated KORVEL
# bridges served as TCMU devices on a tcm_loop host), gives its sg nodes the owner and rights
# udev gives them (root:disk, 0660), and then changes root into this machine's own file
# system, shared read-only over virtio-9p, with memory file systems where the guest writes.
# There it starts a system D-Bus, polkitd with the program's polkit action and a rule that
# grants that action to user nobody (the rule stands in for the administrator's password at
# the agent's prompt), the sg helper at its installed path, Xvfb and openbox, and runs
# korvel-update as nobody (uid 65534). The window then finds no bridge it may open itself and
# gets the bridges' nodes through Debian's pkexec and the helper, as on a desktop. The guest
# prints the sg nodes' rights and the window process's descriptors to the console, takes a
# picture of the window at its start and one after a click on the tcm_loop host's button,
# and powers off.
#
# --out   where the pictures go (default: docs/): window-linux-ordinary-user.png and
#         window-linux-ordinary-user-bridges.png
# --work  the guest's files and the console log (default: build-kernel/window); the kernel
#         package is kernel-test.sh's cache (build-kernel/guest/cache), fetched if missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

out=$root/docs
work=$root/build-kernel/window
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    *) echo "guest-window-picture: unknown argument $1" >&2; exit 2 ;;
  esac
done
mkdir -p "$out" "$work"
out=$(cd "$out" && pwd)
work=$(cd "$work" && pwd)

"$root/scripts/kernel-setup.sh"
# What runs in the guest comes from this machine's file system.
"$root/scripts/install-packages.sh" dbus-daemon polkitd pkexec xvfb openbox xdotool \
  imagemagick util-linux fonts-dejavu-core

# --- The programs: the static bridge server, the window and its helper --------------------------
cmake -S "$root" -B "$root/build-kernel" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-kernel" --target korvel-tcmu-bridges -j 2
[ -f "$root/build/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target korvel-update korvel-update-sg-helper -j 2
window=$root/build/app/korvel-update
helper=$root/build/app/sg_helper/korvel-update-sg-helper
policy=$(ls "$root"/build/packaging/linux/*.policy)
helper_path=$(sed -n 's:.*"org.freedesktop.policykit.exec.path">\(.*\)</annotate>.*:\1:p' "$policy")
action=$(sed -n 's:.*<action id="\(.*\)">.*:\1:p' "$policy")

# --- The kernel: the test's modules, and virtio-9p for the shared file system -----------------
# shellcheck source=SCRIPTDIR/guest-kernel.sh
. "$root/scripts/guest-kernel.sh"
guest_kernel "$root/build-kernel/guest/cache" "$work/kernel" \
  "sg sd_mod sr_mod sym53c8xx scsi_debug target_core_user tcm_loop virtio_pci 9pnet_virtio 9p" \
  "dev_size_mb=2 num_tgts=1 max_luns=1 delay=0"

# --- The guest: an initramfs that brings up the bridges, then the shared root -----------------
initramfs=$work/initramfs
rm -rf "$initramfs"
mkdir -p "$initramfs"/{bin,dev,proc,sys,tmp,newroot}
cp /bin/busybox "$initramfs/bin/busybox"
ln -s busybox "$initramfs/bin/sh"
cp -r "$kernel/modules" "$initramfs/modules"
strip -o "$initramfs/korvel-tcmu-bridges" "$root/build-kernel/tests/kernel/korvel-tcmu-bridges"
cp "$root/scripts/guest-init.sh" "$initramfs/guest-init.sh"

# The bridges as kernel-test.sh makes them; then what the shared root needs written.
cat > "$initramfs/init" <<INIT
#!/bin/sh
stage=$work/stage.sh
INIT
cat >> "$initramfs/init" <<'INIT'
. /guest-init.sh
guest_start
guest_serve_bridges || poweroff -f
# The owners and rights udev gives: disks and sg nodes to group disk (6), CD-ROMs to cdrom (24).
for node in /dev/sg* /dev/sd*; do [ -e "$node" ] && chown 0:6 "$node" && chmod 0660 "$node"; done
for node in /dev/sr*; do [ -e "$node" ] && chown 0:24 "$node" && chmod 0660 "$node"; done

# The shared root, read-only; memory file systems where the programs write.
r=/newroot
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose,ro hostroot $r ||
  { echo "guest: the shared root did not mount"; poweroff -f; }
mount -t tmpfs -o mode=1777 tmpfs $r/tmp
mount -t tmpfs -o mode=0755 tmpfs $r/run
for dir in /root /var/tmp /var/lib/xkb /var/log; do mount -t tmpfs tmpfs $r$dir; done
mount --bind /dev $r/dev
mkdir -p $r/dev/pts $r/dev/shm
mount -t devpts devpts $r/dev/pts
mount -t tmpfs -o mode=1777 tmpfs $r/dev/shm
mount -t proc proc $r/proc
mount -t sysfs sysfs $r/sys
mkdir -p $r/tmp/out
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 out $r/tmp/out ||
  echo "guest: the output folder did not mount"
# Writable copies of the folders the program's package adds to: polkit's actions and rules,
# and /usr/libexec, whose entries stay reachable by bind mounts.
for dir in /usr/share/polkit-1/actions /etc/polkit-1/rules.d; do
  mkdir -p /tmp/copy$dir
  cp -a $r$dir/. /tmp/copy$dir/
  mount -t tmpfs -o mode=0755 tmpfs $r$dir
  cp -a /tmp/copy$dir/. $r$dir/
done
mkdir -p $r/tmp/.libexec
mount --bind $r/usr/libexec $r/tmp/.libexec
mount -t tmpfs -o mode=0755 tmpfs $r/usr/libexec
for entry in $r/tmp/.libexec/* ; do
  name=${entry##*/}
  if [ -L "$entry" ]; then cp -a "$entry" $r/usr/libexec/
  elif [ -d "$entry" ]; then mkdir $r/usr/libexec/$name && mount --bind "$entry" $r/usr/libexec/$name
  else touch $r/usr/libexec/$name && mount --bind "$entry" $r/usr/libexec/$name
  fi
done

chroot $r /bin/bash "$stage"
echo "guest: stage exit code $?"
poweroff -f
INIT
chmod +x "$initramfs/init"
(cd "$initramfs" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) > "$work/initramfs.cpio.gz"

# The part that runs in the shared root (as this machine's bash; paths are this machine's).
cat > "$work/stage.sh" <<STAGE
window=$window
helper=$helper
helper_path=$helper_path
policy=$policy
action=$action
STAGE
cat >> "$work/stage.sh" <<'STAGE'
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root
say() { echo "guest: $*"; }

# The package's files: the helper at its path, the action; the rule grants it to nobody.
mkdir -p "${helper_path%/*}"
install -m 0755 -o root -g root "$helper" "$helper_path"
install -m 0644 "$policy" /usr/share/polkit-1/actions/
cat > /etc/polkit-1/rules.d/50-korvel-picture.rules <<RULE
polkit.addRule(function(action, subject) {
    if (action.id == "$action" && subject.user == "nobody") return polkit.Result.YES;
});
RULE
mkdir -p /tmp/korvel
install -m 0755 "$window" /tmp/korvel/korvel-update

# pkexec logs what it runs for whom to syslog.
busybox syslogd -O /tmp/syslog
mkdir -p /run/dbus
dbus-daemon --system --fork || say "dbus-daemon did not start"
/usr/lib/polkit-1/polkitd --no-debug > /tmp/polkitd.log 2>&1 &
owned() {
  dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null | grep -q true
}
for _ in $(seq 300); do owned && break; sleep 0.2; done
owned && say "polkitd is on the system bus" || { say "polkitd did not start:"; cat /tmp/polkitd.log; }
ls -l "$(command -v pkexec)" | sed 's/^/guest: /'

Xvfb :1 -screen 0 800x600x24 -dpi 96 -nolisten tcp -br > /tmp/xvfb.log 2>&1 &
for _ in $(seq 300); do [ -e /tmp/.X11-unix/X1 ] && break; sleep 0.2; done
export DISPLAY=:1
openbox > /tmp/openbox.log 2>&1 &
sleep 2

mkdir -p -m 0700 /tmp/home
chown 65534:65534 /tmp/home
started=$(date +%s)
setpriv --reuid=65534 --regid=65534 --clear-groups \
  env -i HOME=/tmp/home DISPLAY=:1 LANG=C.UTF-8 PATH=/usr/bin:/bin XDG_RUNTIME_DIR=/tmp/home \
  /tmp/korvel/korvel-update > /tmp/korvel.log 2>&1 &
pid=$!
main=""
for _ in $(seq 600); do
  main=$(xdotool search --onlyvisible --pid "$pid" --name "^KORVEL" 2>/dev/null | head -n 1)
  [ -n "$main" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.5
done
if [ -z "$main" ]; then
  say "no window; korvel-update said:"; cat /tmp/korvel.log; cat /tmp/polkitd.log
  exit 1
fi
say "window up $(( $(date +%s) - started )) s after the start"
sleep 5

say "ls -l /dev/sg*:"
ls -l /dev/sg*
for node in /sys/class/scsi_generic/sg*; do
  device=$node/device
  say "  ${node##*/} = $(basename "$(readlink -f "$device")") $(cat "$device/vendor") $(cat "$device/model") ($(cat "/sys/class/scsi_host/host$(basename "$(readlink -f "$device")" | cut -d: -f1)/proc_name"))"
done
say "korvel-update, process $pid: $(grep -E '^(Uid|Gid|Groups)' /proc/$pid/status | tr -s '\t\n' '  ')"
say "ls -l /proc/$pid/fd (the sg nodes among them):"
ls -l /proc/$pid/fd | grep -E '/dev/(sg|sd|sr)' || say "  no sg node open"
say "korvel-update's messages:"; cat /tmp/korvel.log
say "syslog:"; grep -E 'pkexec|polkit' /tmp/syslog

shoot() { import -frame -window "$main" "/tmp/out/$1" && say "picture $1"; }
shoot window-linux-ordinary-user.png
# The tcm_loop host's button: host buttons are 85 x 53 at 96 DPI, four to a row in the
# "Host Card" box at (4, 4), from (8, 16) in it, 88 apart (form/korvel_main_layout.h).
tcm=$(for host in /sys/class/scsi_host/host*; do
        [ "$(cat "$host/proc_name")" = tcm_loopback ] && echo "${host##*host}"; done | head -n 1)
width=$(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
x=$(( (4 + 8 + 88 * (tcm % 4) + 42) * width / 462 ))
y=$(( (4 + 16 + 56 * (tcm / 4) + 26) * width / 462 ))
say "clicking host $tcm's button at $x,$y"
xdotool mousemove --window "$main" "$x" "$y" click 1
sleep 1
xdotool mousemove 790 590
sleep 15
shoot window-linux-ordinary-user-bridges.png
say "after the click, ls -l /proc/$pid/fd:"
ls -l /proc/$pid/fd | grep -E '/dev/(sg|sd|sr)' || say "  no sg node open"
kill "$pid"
sync
STAGE

# --- Boot -------------------------------------------------------------------------------------
truncate -s 4M "$work/disk.img"
truncate -s 2M "$work/cd.img"
pictures=$work/pictures
rm -rf "$pictures"
mkdir -p "$pictures"
console=$work/console.log
echo "guest-window-picture: booting $version under QEMU (TCG)"
begun=$(date +%s)
timeout 900 qemu-system-x86_64 \
  -accel tcg -cpu max -machine pc -m 2048 -smp 1 \
  -nodefaults -nographic -no-reboot -nic none -serial stdio -monitor none \
  -kernel "$kernel/vmlinuz" -initrd "$work/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 loglevel=3 rdinit=/init" \
  -device lsi53c895a,id=scsi0 \
  -drive if=none,id=disk0,file="$work/disk.img",format=raw \
  -device scsi-hd,bus=scsi0.0,scsi-id=0,lun=0,drive=disk0 \
  -drive if=none,id=cd0,file="$work/cd.img",format=raw,media=cdrom,readonly=on \
  -device scsi-cd,bus=scsi0.0,scsi-id=2,lun=0,drive=cd0 \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,multidevs=remap,readonly=on \
  -virtfs local,path="$pictures",mount_tag=out,security_model=none \
  </dev/null 2>&1 | tr -d '\r' | tee "$console" || true
echo "guest-window-picture: the guest ran $(( $(date +%s) - begun )) s"

status=0
for picture in window-linux-ordinary-user.png window-linux-ordinary-user-bridges.png; do
  if [ -s "$pictures/$picture" ]; then
    # Few colours and no metadata: the picture stays small in the repository.
    convert "$pictures/$picture" -strip -colors 256 "PNG8:$out/$picture"
    echo "guest-window-picture: $out/$picture"
  else
    echo "guest-window-picture: no $picture (see $console)" >&2
    status=1
  fi
done
exit $status
