#!/usr/bin/env bash
# win32-stage.sh [direct|guest]
#
# The 32-bit stage: runs the 32-bit Windows programs under 32-bit Wine reporting Windows XP.
# 32-bit Wine lives in a root filesystem of its own (scripts/win32-root.sh). Where this
# machine's kernel starts 32-bit programs, the stage runs in that root as a chroot ("direct");
# elsewhere QEMU boots Debian's kernel with that root as its disk ("guest", plain emulation),
# the project folder shared over 9p at the same path. The argument forces one of the two; without it the machine decides.
#
# Inside (tests/wine/win32-stage-inner.sh): every test of build-win32/, each program started
# once for all its cases; korvel-sim.exe over every harness case; a picture of the window;
# the released installer from dist/ installed, started and uninstalled. Then, here, the Qt
# korvel-sim of build/ runs the same harness cases over the same firmware files, and the
# journals and exit codes of the two faces must be the same, byte for byte.
#
# Needs build-win32/ with its tests, build/app/korvel-sim and dist/ (scripts/windows-test.sh
# makes them). Output goes to build-win32/stage/. Runs as root (through sudo otherwise). Exits
# non-zero when the root or the guest cannot be made, or when anything fails: it never skips.
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=KORVEL_CACHE "$0" "$@"
fi
cd "$project"
mode=${1:-auto}
stage_start=$SECONDS
work=$project/build-win32/stage

for needed in build-win32/app/win32/korvel-sim.exe build-win32/tests/wine/write_harness_firmware.exe \
              build/app/korvel-sim; do
  [ -e "$needed" ] || { echo "win32-stage: no $needed (run scripts/windows-test.sh)" >&2; exit 1; }
done

echo "== Windows, 32-bit: the root filesystem with 32-bit Wine"
start=$SECONDS
folder=$(./scripts/win32-root.sh)
rootfs=$folder/root
echo "   ready in $((SECONDS - start)) s ($folder)"

rm -rf "$work"
mkdir -p "$work"

# --- direct: a chroot in a mount namespace of its own -------------------------------------------
run_direct() {
  unshare --mount --propagation private sh -c '
    rootfs=$1 project=$2
    # The root a mount point of its own, as it is on a booted system: where it is a mere
    # folder, Wine opens the Unix root behind drive Z: as one more volume.
    mount --bind "$rootfs" "$rootfs"
    mount -t proc proc "$rootfs/proc"
    mount --rbind /sys "$rootfs/sys"
    mount --rbind /dev "$rootfs/dev"
    mount -t tmpfs tmpfs "$rootfs/tmp"
    mount -t tmpfs tmpfs "$rootfs/run"
    mkdir -p "$rootfs$project"
    mount --bind "$project" "$rootfs$project"
    shift 2
    exec chroot "$rootfs" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"
  ' sh "$rootfs" "$project" "$@"
}

if [ "$mode" = auto ]; then
  # Wine's loader is a 32-bit program: whether it starts tells whether this kernel runs them.
  mode=guest
  run_direct /usr/lib/wine/wine --version >/dev/null 2>&1 && mode=direct
fi

# --- guest: Debian's kernel booted with the root filesystem as its disk --------------------------
# The guest's disk: the root filesystem with the guest's first process, made once for each
# version of that program, and booted with a throw-away overlay once its Wine prefix is made.
init=$project/tests/wine/win32-guest-init
image=$folder/guest-$(sha256sum "$init" | cut -c1-16).img
# Plain emulation, on both cores. KVM is not used even where /dev/kvm opens: on machines that
# lend it to a nested guest, QEMU could not set the CPU's registers or hung in the firmware.
accel="tcg,thread=multi"
cpu=${KORVEL_GUEST_CPU:-qemu64}

boot_guest() {  # boot_guest LOG [QEMU OPTIONS...] -- ARGS...
  local log=$1; shift
  local options=()
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  local kernel initrd
  kernel=$(ls "$rootfs"/boot/vmlinuz-* | head -n 1)
  initrd=$(ls "$rootfs"/boot/initrd.img-* | head -n 1)
  local args
  args=$(IFS=,; echo "$*")
  timeout 2400 qemu-system-x86_64 -accel "$accel" -cpu "$cpu" -machine pc -m 4096 -smp 2 \
    -nodefaults -nographic -no-reboot -nic none -serial stdio -monitor none \
    -kernel "$kernel" -initrd "$initrd" \
    -append "console=ttyS0 root=/dev/vda rw rootfstype=ext4 panic=-1 quiet loglevel=3 init=/sbin/korvel-guest-init korvel.project=$project korvel.args=$args" \
    -drive file="$image",if=virtio,format=raw,cache=unsafe "${options[@]}" \
    -fsdev local,id=project,path="$project",security_model=passthrough \
    -device virtio-9p-pci,fsdev=project,mount_tag=project \
    </dev/null 2>&1 | stdbuf -oL tr -d '\r' | tee "$log" | grep -aoE '(stage|guest|FAIL|ok):.*' || true
  # (The firmware's screen control codes may stand before the guest's first line.)
  grep -aq 'guest: stage exit code 0$' "$log"
}

status=0
case $mode in
  direct)
    echo "== Windows, 32-bit: in a chroot"
    run_direct "$project/tests/wine/win32-stage-inner.sh" run "$work" copy || status=1
    ;;
  guest)
    echo "== Windows, 32-bit: in a QEMU guest (plain emulation)"
    ./scripts/install-packages.sh qemu-system-x86 e2fsprogs
    if [ ! -f "$image.ready" ]; then
      start=$SECONDS
      rm -f "$folder"/guest-*.img "$folder"/guest-*.img.ready
      install -m 755 "$init" "$rootfs/sbin/korvel-guest-init"
      # The root's files and room for the prefix, the tests' files and a throw-away overlay.
      size=$(( $(du -smx "$rootfs" 2>/dev/null | cut -f1) + 2048 ))
      mke2fs -q -t ext4 -d "$rootfs" -L korvel-root "$image" "${size}M" >/dev/null 2>&1
      echo "   disk image made in $((SECONDS - start)) s (${size} MiB)"
      start=$SECONDS
      boot_guest "$work/guest-prefix.log" -- prefix ||
        { echo "win32-stage: FAILED, the guest could not make its Wine prefix" \
               "(log: $work/guest-prefix.log)" >&2; exit 1; }
      touch "$image.ready"
      echo "   guest's Wine prefix made in $((SECONDS - start)) s"
    fi
    start=$SECONDS
    boot_guest "$work/guest.log" -snapshot -- run "$work" keep || status=1
    echo "   guest ran in $((SECONDS - start)) s"
    ;;
  *) echo "win32-stage: unknown mode $mode (direct or guest)" >&2; exit 2 ;;
esac

echo "== Windows, 32-bit: the Qt face over the same harness cases"
start=$SECONDS
if [ -d "$work/harness/win32" ]; then
  (cd "$work/harness" && "$project/tests/wine/run_harness_cases.sh" \
     "$project/tests/harness/cases" "$work/harness/qt" "$project/build/app/korvel-sim")
  tests/wine/same_journals.sh "$work/harness/qt" "$work/harness/win32" || status=1
else
  echo "FAIL: korvel-sim.exe wrote no journals"
  status=1
fi
echo "   compared in $((SECONDS - start)) s"

# The window's picture, as PNG.
if ls "$work"/pictures/*.bmp >/dev/null 2>&1; then
  ./scripts/install-packages.sh netpbm >/dev/null
  for bitmap in "$work"/pictures/*.bmp; do
    bmptopnm "$bitmap" 2>/dev/null | pnmtopng -compression 9 >"${bitmap%.bmp}.png"
  done
fi

echo "== Windows, 32-bit: stage $( [ $status = 0 ] && echo passed || echo FAILED) in" \
     "$((SECONDS - stage_start)) s"
exit $status
