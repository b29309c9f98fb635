#!/usr/bin/env bash
# kernel-test.sh [--binaries DIR] [--work DIR]
#
# The real-kernel test. Boots a small Linux guest under QEMU (plain emulation, no network
# device) whose SCSI stack is the real kernel's: QEMU's lsi53c895a host adapter, driven by the
# kernel's sym53c8xx, with an emulated disk and CD-ROM drive on it, and the kernel's scsi_debug
# adapter next to it. Inside, the static korvel-kernel-check program runs the real transport
# and command library over the sg driver. Then the guest makes a tcm_loop host whose targets
# are TCMU devices (the kernel's userspace SCSI target) served by korvel-tcmu-bridges, one
# simulated bridge or disk each, and korvel-kernel-flash runs the window's form over them:
# start, adapters, scan and updates of every family; then it starts korvel-kernel-sg-helper as
# pkexec would and plays the window again as an ordinary user over the nodes the helper hands
# over: the bridges' alone. Each check program prints
# "N passed, N failed"; the test passes only when both show 0 failed.
#
# --binaries  the folder of the four static programs (default: built here into build-kernel/)
# --work      where the kernel package, the unpacked kernel, the guest's files and the console
#             log go (default: build-kernel/guest). The kernel package stays there as a cache.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

binaries=""
work=""
while [ $# -gt 0 ]; do
  case $1 in
    --binaries) binaries=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    *) echo "kernel-test: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$work" ] || work=$root/build-kernel/guest
mkdir -p "$work"
work=$(cd "$work" && pwd)

"$root/scripts/kernel-setup.sh"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# --- The guest's programs ----------------------------------------------------------------------
programs=(korvel-kernel-check korvel-tcmu-bridges korvel-kernel-flash korvel-kernel-sg-helper)
if [ -z "$binaries" ]; then
  cmake -S "$root" -B "$root/build-kernel" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build-kernel" --target "${programs[@]}" -j 2
  binaries=$root/build-kernel/tests/kernel
fi
for program in "${programs[@]}"; do
  binary=$binaries/$program
  if ! file -L "$binary" 2>/dev/null | grep -q 'statically linked'; then
    # file(1) may be missing; ldd is part of libc-bin and says so as well.
    if [ ! -x "$binary" ] || ldd "$binary" >/dev/null 2>&1; then
      echo "kernel-test: $binary is not a static program" >&2
      exit 1
    fi
  fi
done

# --- The kernel and its modules (scripts/guest-kernel.sh) ------------------------------------
# The sg, disk and CD-ROM drivers are loaded first so they take each device as it is found, then
# the adapters (sym53c8xx first, so that it becomes host 0 and scsi_debug host 1), each after
# what it needs, then the userspace SCSI target and the tcm_loop fabric (which makes its host,
# number 2, only when the guest configures it). scsi_debug answers at once (delay=0), not a
# jiffy later, so that its command times are the kernel's own.
# shellcheck source=SCRIPTDIR/guest-kernel.sh
. "$root/scripts/guest-kernel.sh"
guest_kernel "$work/cache" "$work/kernel" \
  "sg sd_mod sr_mod sym53c8xx scsi_debug target_core_user tcm_loop" \
  "dev_size_mb=2 num_tgts=1 max_luns=1 delay=0"

# --- The guest's initramfs: busybox, the modules and the programs --------------------------------
initramfs=$work/initramfs
rm -rf "$initramfs"
mkdir -p "$initramfs"/{bin,dev,proc,sys,tmp}
cp /bin/busybox "$initramfs/bin/busybox"
ln -s busybox "$initramfs/bin/sh"
cp -r "$kernel/modules" "$initramfs/modules"
# Without their debugging sections the programs are a fifth of the size: a smaller image boots faster.
for program in "${programs[@]}"; do
  strip -o "$initramfs/$program" "$binaries/$program"
done

cp "$root/scripts/guest-init.sh" "$initramfs/guest-init.sh"

cat > "$initramfs/init" <<'INIT'
#!/bin/sh
. /guest-init.sh
guest_start
echo "guest: SCSI hosts:"
for host in /sys/class/scsi_host/host*; do echo "  ${host##*/} $(cat "$host/proc_name")"; done
echo "guest: sg nodes: $(ls /dev | grep '^sg' | tr '\n' ' ')"
for device in /sys/bus/pci/devices/*; do
  case $(cat "$device/class") in 0x02*) echo "guest: network device ${device##*/}" ;; esac
done
/korvel-kernel-check
echo "guest: check exit code $?"

if guest_serve_bridges; then
  /korvel-kernel-flash /tmp/journal /korvel-kernel-sg-helper
else
  false
fi
echo "guest: flash check exit code $?"
poweroff -f
INIT
chmod +x "$initramfs/init"

(cd "$initramfs" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) > "$work/initramfs.cpio.gz"

# --- The emulated drives: a 4 MiB disk (8192 blocks) and a small CD image ---------------------
truncate -s 4M "$work/disk.img"
truncate -s 2M "$work/cd.img"

# --- Boot -------------------------------------------------------------------------------------
console=$work/console.log
echo "kernel-test: booting $version under QEMU (TCG)"
status=0
timeout 120 qemu-system-x86_64 \
  -accel tcg -cpu max -machine pc -m 256 -smp 1 \
  -nodefaults -nographic -no-reboot -nic none -serial stdio -monitor none \
  -kernel "$kernel/vmlinuz" -initrd "$work/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 loglevel=3 rdinit=/init" \
  -device lsi53c895a,id=scsi0 \
  -drive if=none,id=disk0,file="$work/disk.img",format=raw \
  -device scsi-hd,bus=scsi0.0,scsi-id=0,lun=0,drive=disk0 \
  -drive if=none,id=cd0,file="$work/cd.img",format=raw,media=cdrom,readonly=on \
  -device scsi-cd,bus=scsi0.0,scsi-id=2,lun=0,drive=cd0 \
  </dev/null 2>&1 | tr -d '\r' | tee "$console" || status=$?

if grep -q '^guest: network device' "$console"; then
  echo "kernel-test: FAILED, the guest has a network device" >&2
  exit 1
fi
results=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$console" || true)
if [ "$(echo "$results" | grep -c passed)" -ne 2 ]; then
  echo "kernel-test: FAILED, the guest did not print both result lines (see $console)" >&2
  exit 1
fi
if echo "$results" | grep -qvE '^[1-9][0-9]* passed, 0 failed$'; then
  echo "kernel-test: FAILED:" $results >&2
  exit 1
fi
if ! grep -q '^guest: check exit code 0$' "$console" ||
   ! grep -q '^guest: flash check exit code 0$' "$console"; then
  echo "kernel-test: FAILED, a check program did not end with exit code 0" >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "kernel-test: FAILED, QEMU ended with status $status" >&2
  exit 1
fi
echo "kernel-test: passed ($(echo "$results" | paste -sd ";" | sed "s/;/; /g"))"
